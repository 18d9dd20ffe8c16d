#pragma once

#include "convert/TextExport.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Export": the file to write, the form of the output and its optional columns. Opens on the
// given options; after OK, options() holds what the user chose.
class ExportDialog : public Dialog {
public:
    ExportDialog(HWND owner, const ExportOptions& options);
    const ExportOptions& options() const { return options_; }

private:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode, HWND control) override;
    void onOK() override;
    void enableOkForName();
    void enableColumnsForType();
    void onBrowse();

    ExportOptions options_;
    Edit fileEdit_;
    ComboBox typeList_;
    Button headingBox_, timeBox_, positionBox_;
};
