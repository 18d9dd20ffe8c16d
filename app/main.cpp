// Veltrane's entry point: the application object, its settings and the main window.
#include <windows.h>
#include <commctrl.h>

#include "app/MainDialog.h"
#include "app/RegistryProfile.h"
#include "res/resource.h"
#include "win32/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                          ICC_LISTVIEW_CLASSES |
                                                          ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Application application;
    application.setRegistryKey("Quorvale");
    application.loadAccelerators(IDR_ACCELERATORS);
    RegistryProfile profile(application.company(), application.name());

    MainDialog mainDialog(profile);
    mainDialog.doModal();
    return 0;
}
