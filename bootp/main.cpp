// Plenvar: the BOOTP server of the QMX-410 suite. Hands out IP addresses by
// MAC address and sets up devices over Modbus TCP and EtherNet/IP.
#include "bootp/ui/PlenvarApp.h"

int main(int argc, char** argv) { return qmx::plenvar::RunPlenvar(argc, argv); }
