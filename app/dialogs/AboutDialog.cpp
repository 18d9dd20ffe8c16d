#include "app/dialogs/AboutDialog.h"

#include "res/resource.h"

AboutDialog::AboutDialog(HWND owner) : Dialog(IDD_ABOUT, owner) {}
