#pragma once

#include <string>

#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Import": the file to convert, its data format and the serial speed at which its bytes are
// taken to have arrived. Always opens empty, at 9600 and "Raw data".
class ImportDialog : public Dialog {
public:
    explicit ImportDialog(HWND owner);

    std::string importPath;
    int assumedSpeed = 9600;
    int dataFormat = 0;  // 0 raw data, 1 ASCII hex data

private:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode, HWND control) override;
    void onOK() override;
    void enableOkForPath();

    Edit fileEdit_;
    ComboBox formatList_, speedList_;
};
