#pragma once

#include <string>

#include "convert/Import.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Import": the file to convert, its data format and the serial speed at which its bytes are
// taken to have arrived. Always opens empty, at the default speed and "Raw data".
class ImportDialog : public Dialog {
public:
    explicit ImportDialog(HWND owner);

    std::string importPath;
    int assumedSpeed = kDefaultImportSpeed;
    ImportFormat dataFormat = kDefaultImportFormat;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode, HWND control) override;
    void onOK() override;
    void enableOkForPath();

    Edit fileEdit_;
    ComboBox formatList_, speedList_;
};
