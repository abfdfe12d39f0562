// A stage-less interpreter for unit tests: runs assembled action blocks and
// collects what they trace.
#pragma once

#include "avm1.h"
#include "test_assembler_p.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace zf::avm1::test {

struct Runner {
    explicit Runner(int version, uint64_t maxActions = 1'000'000)
    {
        Options options;
        options.swfVersion = version;
        options.maxActionsPerFrame = maxActions;
        options.trace = [this](const std::string& line) { lines += line + "\n"; };
        options.fscommand = [this](const std::string& c, const std::string& a) {
            lines += "fscommand " + c + " " + a + "\n";
        };
        interpreter = createInterpreter(options);
    }
    std::string run(Asm code)
    {
        auto bytes = code.bytes();
        EXPECT_TRUE(interpreter->runActions(bytes).ok());
        return std::exchange(lines, {});
    }
    std::unique_ptr<Interpreter> interpreter;
    std::string lines;
};

inline std::string run(int version, Asm code)
{
    return Runner(version).run(std::move(code));
}

} // namespace zf::avm1::test
