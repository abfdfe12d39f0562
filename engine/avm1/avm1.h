// The ActionScript 1/2 virtual machine: values, the object model with its
// garbage collector, the bytecode interpreter and the built-in classes.
//
// An Interpreter belongs to one player. It runs action blocks (frame actions,
// clip and button events, init actions) handed to it by the stage, keeps the
// operand stack that all blocks of one tick share, and reports trace output
// and host commands through the sinks in Options. Script time is bounded by a
// count of executed actions so that headless runs are deterministic.
#pragma once

#include "common/result.h"
#include "display/script.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace zf::display {
class Stage;
}

namespace zf::avm1 {

struct Options {
    int swfVersion = 10;
    // Actions one frame may run before its scripts are aborted with a warning.
    uint64_t maxActionsPerFrame = 5'000'000;
    // Nested script function calls before a call fails.
    int maxRecursion = 256;
    // Receives every trace() line and the player's own warning lines.
    std::function<void(const std::string&)> trace;
    // Receives fscommand(command, arguments) and GetURL "FSCommand:" requests.
    std::function<void(const std::string& command, const std::string& arguments)> fscommand;
    // Milliseconds since the movie started (getTimer, GetTime, intervals).
    std::function<double()> clock;
    // Folder that relative URLs of loaded files (XML, variables) resolve against.
    std::string baseDirectory;
};

// The stage runs scripts through the ScriptRunner calls.
class Interpreter : public display::ScriptRunner {
public:
    // Runs one action block with the global object as the timeline. Used by
    // tools and tests that have no stage. Fails only for an empty interpreter
    // state; script errors are reported through the trace sink.
    virtual Status runActions(std::span<const uint8_t> code) = 0;

    // Ends the tick: clears the shared stack and the per-frame action budget,
    // fires due timers and collects garbage.
    virtual void endTick() = 0;

    // Runs a full garbage collection now and returns the number of live objects.
    virtual size_t collectGarbage() = 0;
};

// An interpreter without a stage: movie-clip functions see no clips.
std::unique_ptr<Interpreter> createInterpreter(const Options& options);

// An interpreter for a stage; it registers itself as the stage's script
// runner and unregisters when destroyed, so it must be destroyed before the
// stage. Without a clock in Options the stage clock is used.
std::unique_ptr<Interpreter> createInterpreter(display::Stage& stage, const Options& options);

} // namespace zf::avm1
