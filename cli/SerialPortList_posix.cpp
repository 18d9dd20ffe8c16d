#include "cli/SerialPortList.h"
#include "cli/SysfsSerialPorts.h"

std::vector<std::string> listSerialPorts() { return serialPortsDescribedIn(SystemFolders{}); }
