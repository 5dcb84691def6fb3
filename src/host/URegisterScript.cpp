// nbRegisterScriptProcessor: the host's callback for script commands.
#include "host/Exports.h"
#include "host/HostBindings.h"

extern "C" void TV_HOSTCALL nbRegisterScriptProcessor(ScriptProcessorProc proc) {
    HostScriptProcessor = proc;
}
