#include "AboutDialog.h"

#include "resource.h"

AboutDialog::AboutDialog(HWND owner) : Dialog(IDD_ABOUT, owner) {}
