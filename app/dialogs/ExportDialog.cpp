#include "app/dialogs/ExportDialog.h"

#include "res/resource.h"
#include "win32/FileDialog.h"

namespace {
const char* const kTypeEntries[] = {"Space delimited binary data", "ASCII text data", "Raw data"};
constexpr int kRawEntry = static_cast<int>(ExportType::RawBytes);
}  // namespace

ExportDialog::ExportDialog(HWND owner, const ExportOptions& options)
    : Dialog(IDD_EXPORT, owner), options_(options) {}

bool ExportDialog::onInitDialog() {
    fileEdit_.attach(item(IDC_EXPORT_FILE_EDIT));
    typeList_.attach(item(IDC_EXPORT_TYPE_LIST));
    headingBox_.attach(item(IDC_EXPORT_SHOW_HEADING));
    timeBox_.attach(item(IDC_EXPORT_SHOW_TIME));
    positionBox_.attach(item(IDC_EXPORT_SHOW_POSITION));

    fileEdit_.setText(options_.fileName);
    enableOkForName();  // the edit may not report the change while the dialog starts
    timeBox_.setCheck(options_.showTimeOffset);
    headingBox_.setCheck(options_.showHeading);
    positionBox_.setCheck(options_.showDataPosition);
    for (const auto& entry : kExportTypeTable) typeList_.addString(entry.label);
    int type = static_cast<int>(options_.exportType);
    typeList_.select(type >= 0 && type < typeList_.count() ? type : 0);
    return true;
}

void ExportDialog::enableOkForName() {
    EnableWindow(item(IDOK), GetWindowTextLengthA(fileEdit_.handle()) > 0);
}

// The columns mean nothing for raw data; their check marks stay as they were.
void ExportDialog::enableColumnsForType() {
    bool columns = typeList_.selection() != kRawEntry;
    headingBox_.enable(columns);
    timeBox_.enable(columns);
    positionBox_.enable(columns);
}

bool ExportDialog::onCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_EXPORT_FILE_EDIT && notifyCode == EN_CHANGE) {
        enableOkForName();
        return true;
    }
    if (id == IDC_EXPORT_TYPE_LIST && notifyCode == CBN_SELCHANGE) {
        enableColumnsForType();
        return true;
    }
    if (id == IDC_BROWSE && notifyCode == BN_CLICKED) {
        onBrowse();
        return true;
    }
    return Dialog::onCommand(id, notifyCode, control);
}

void ExportDialog::onBrowse() {
    auto chosen = chooseFileToSave(handle(), "Text files (*.txt)|*.txt|All Files (*.*)|*.*||",
                                   "txt", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
    if (chosen) fileEdit_.setText(*chosen);
}

void ExportDialog::onOK() {
    options_.fileName = fileEdit_.text();
    options_.showTimeOffset = timeBox_.isChecked();
    options_.showHeading = headingBox_.isChecked();
    options_.showDataPosition = positionBox_.isChecked();
    int type = typeList_.selection();
    options_.exportType = kExportTypeTable[type >= 0 ? type : 0].value;
    endDialog(IDOK);
}
