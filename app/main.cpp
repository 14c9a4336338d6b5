// QMX410Tools: configuration, commissioning and documentation of QMX-410
// I/O stations.
#include "app/frame/FerrowynApp.h"

int main(int argc, char** argv) { return CFerrowynApp::Main(argc, argv); }
