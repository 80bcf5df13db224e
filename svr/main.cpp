// QvrSvr: the service program (console or service mode, see Dispatch.h).
#include "svr/Dispatch.h"
#include "svr/SvrConstants.h"

int main(int argc, char** argv) {
    tunnel::SvrConstants::init();
    return tunnel::dispatchArg(argc, argv);
}
