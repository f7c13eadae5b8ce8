#pragma once

// The server and session objects hosted in the test process, on recording
// outputs and settings of the test's own: what an activation of the real
// server makes, without the process around it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/class_factory.h"
#include "server/co_norvale.h"
#include "server/server_instance.h"
#include "tests/com/com_support.h"
#include "tests_support/paths.h"
#include "tests_support/recording_outputs.h"

namespace norvale::test {

class InProcessHost : public testing::Test {
protected:
    using Entries = std::vector<std::string>;

    InProcessHost() {
        // The table's marshaling stub would keep a reference: no object would end.
        context_.EnterInRunningObjectTable = false;
    }

    ComPtr<INorvale> Activate() {
        ComPtr<INorvale> norvale;
        EXPECT_EQ(factory_.CreateInstance(nullptr, IID_INorvale, norvale.put_void()), S_OK);
        return norvale;
    }
    Entries Console() const {
        Entries lines;
        for (const auto& entry : recorders_.journal.entries) {
            if (entry.rfind("console: ", 0) == 0) lines.push_back(entry.substr(9));
        }
        return lines;
    }

    TMutex lock_{UniqueTestName("in-process lock")};
    RecordingProcessOutputs recorders_;
    ScratchSettings settings_;
    TSessionRegistry registry_{lock_};
    Entries reports_;
    TServerInstance instance_{[this](const std::string& text) { reports_.push_back(text); }};
    ComPtr<ITypeLib> library_ = LoadTypeLibraryFrom(NorvaleExe());
    // The server's clock as the output file's rotation by day reads it.
    LocalDateTime today_ = LocalNow();
    TComClass norvaleClass_ = ReadComClass(library_.get(), CLSID_Norvale);
    TComClass sessionClass_ = ReadComClass(library_.get(), CLSID_DebugSession);
    TOutputStage stage_{lock_, *recorders_.outputs, settings_.Location(), [this] { return today_; }};
    TServerContext context_{lock_, stage_, registry_, instance_, norvaleClass_, sessionClass_};
    TSingleAutoObjectFactory factory_{context_, [] {}};
};

}  // namespace norvale::test
