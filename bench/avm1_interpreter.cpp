// Interpreter throughput: a loop of arithmetic, register and named locals and
// property access, run as one frame's actions. Reports actions per second.
#include "avm1/avm1.h"
#include "avm1/test_assembler_p.h"

#include <benchmark/benchmark.h>

namespace {

using zf::avm1::test::Asm;
using zf::avm1::test::Reg;
using Code = zf::swf::ActionCode;

constexpr int Iterations = 100000;

// function f() {
//   var o = {x: 0}; var sum = 0;            // named locals
//   for (r1 = 0; r1 < N; r1++) {            // register counter
//     sum = sum + r1 * 2; o.x = o.x + 1;
//   }
//   return sum;
// }
std::vector<uint8_t> loopProgram(int& actionsPerIteration)
{
    Asm body;
    body.push({"o", "x", 0, 1})
        .op(Code::InitObject)
        .op(Code::DefineLocal)
        .push({"sum", 0})
        .op(Code::DefineLocal)
        .push({0})
        .storeRegister(1)
        .op(Code::Pop)
        .label("top")
        .push({"sum", "sum"})
        .op(Code::GetVariable)
        .push({Reg{1}, 2})
        .op(Code::Multiply)
        .op(Code::Add2)
        .op(Code::SetVariable)
        .push({"o"})
        .op(Code::GetVariable)
        .push({"x", "o"})
        .op(Code::GetVariable)
        .push({"x"})
        .op(Code::GetMember)
        .push({1})
        .op(Code::Add2)
        .op(Code::SetMember)
        .push({Reg{1}})
        .op(Code::Increment)
        .storeRegister(1)
        .push({Iterations})
        .op(Code::Less2)
        .ifTrue("top")
        .push({"sum"})
        .op(Code::GetVariable)
        .op(Code::Return);
    // Counted by hand from the loop above: 19 actions per iteration.
    actionsPerIteration = 19;
    Asm program;
    program.function2("f", 2, 0x2 | 0x8 | 0x20, {}, body)
        .push({0, "f"})
        .op(Code::CallFunction)
        .op(Code::Pop);
    return program.bytes();
}

void BM_ArithmeticLoop(benchmark::State& state)
{
    zf::avm1::Options options;
    options.swfVersion = 8;
    options.maxActionsPerFrame = 1'000'000'000;
    auto interpreter = zf::avm1::createInterpreter(options);
    int perIteration = 0;
    std::vector<uint8_t> code = loopProgram(perIteration);
    for (auto _ : state) {
        (void)interpreter->runActions(code);
        interpreter->endTick();
    }
    state.counters["actions/s"] = benchmark::Counter(
        double(state.iterations()) * Iterations * perIteration, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ArithmeticLoop)->Unit(benchmark::kMillisecond);

} // namespace
