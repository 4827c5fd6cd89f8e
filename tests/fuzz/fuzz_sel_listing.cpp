// The event-log listings of kelvast (-sel -listAll, -listAllEx, -selInfo) against any
// replies (a script, scripted_replies.h): the count, then each record, printed and put
// in the JSON result, with the record texts bounded by their fields. The input's first
// byte picks the listing; what the listing prints goes to /dev/null.
#include <cstdio>
#include <memory>

#include "../unit/tool_run.h"
#include "scripted_replies.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return std::freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    static auto* medium = new ScriptedReplies(nullptr, 0);
    static CX9ZunaIfc client{std::unique_ptr<CX9ZunaMedium>(medium)};
    medium->Restart(data + 1, size - 1);
    static char program[] = "", group[] = "-sel", listAll[] = "-listAll", listAllEx[] = "-listAllEx",
                selInfo[] = "-selInfo";
    char* const listings[] = {listAll, listAllEx, selInfo};
    char* argv[] = {program, group, listings[data[0] % 3], nullptr};
    ToolRun tool(client);
    parseArguments(tool.run, 3, argv);
    return 0;
}
