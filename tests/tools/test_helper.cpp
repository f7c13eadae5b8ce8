// A second process for the tests: it shares the output lock by name and
// writes through an output stage of its own.
//
//   norvale_test_helper dispatch <lock name> <settings subkey> <tag> <blocks> <start event>
//
// It begins once the named start event is set, so that all writers overlap.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

#include "common/win32_resources.h"
#include "output/output_stage.h"
#include "tests_support/block_check.h"

namespace {

int Dispatch(const std::string& lockName, const std::string& subkey, const std::string& tag, int blocks,
             const std::string& startEvent) {
    using namespace norvale;
    const UniqueHandle start(OpenEventA(SYNCHRONIZE, FALSE, startEvent.c_str()));
    if (!start || WaitForSingleObject(start.get(), 30000) != WAIT_OBJECT_0) return 3;
    TMutex lock(lockName);
    auto outputs = TProcessOutputs::MakeForProcess();
    SettingsLocation location;
    location.subkey = subkey;
    TOutputStage stage(lock, *outputs, location);
    stage.RefreshProperties();
    for (int b = 0; b < blocks; ++b) {
        stage.DispatchBlock(nullptr, "", SplitLines(test::BlockData(tag, b)), test::BlockHeading(tag, b));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 7 && std::string(argv[1]) == "dispatch") {
            return Dispatch(argv[2], argv[3], argv[4], std::atoi(argv[5]), argv[6]);
        }
        std::fprintf(stderr, "usage: norvale_test_helper dispatch <lock> <subkey> <tag> <blocks> <event>\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
