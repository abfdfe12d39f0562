// Renderer throughput, reported as frames per second ("fps" counter).
#include "raster/raster.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zf;
using raster::Renderer;

class OneBitmap : public raster::BitmapSource {
public:
    OneBitmap()
    {
        m_bitmap.width = m_bitmap.height = 64;
        for (int i = 0; i < 64 * 64; ++i) {
            uint8_t v = uint8_t((i * 37) ^ (i / 64 * 11));
            m_bitmap.pixels.insert(m_bitmap.pixels.end(), {v, uint8_t(255 - v), 128, 255});
        }
    }
    const raster::Bitmap* bitmap(uint16_t) const override { return &m_bitmap; }

private:
    raster::Bitmap m_bitmap;
};

void addEdge(swf::ShapeGroup& group, Point a, Point c, Point b, bool curved, uint32_t fill,
             uint32_t line)
{
    swf::Edge e;
    e.x0 = int32_t(a.x), e.y0 = int32_t(a.y), e.x1 = int32_t(b.x), e.y1 = int32_t(b.y);
    e.cx = int32_t(c.x), e.cy = int32_t(c.y);
    e.curved = curved;
    e.fill1 = fill;
    e.line = line;
    group.edges.push_back(e);
}

swf::Shape rectangle(double width, double height, swf::FillStyle fill)
{
    swf::Shape shape;
    shape.groups.resize(1);
    shape.groups[0].fills = {fill};
    const Point p[4] = {{0, 0}, {width * 20, 0}, {width * 20, height * 20}, {0, height * 20}};
    for (int i = 0; i < 4; ++i)
        addEdge(shape.groups[0], p[i], p[i], p[(i + 1) % 4], false, 1, 0);
    return shape;
}

swf::FillStyle gradientFill(swf::FillType type, double half, Point centre)
{
    swf::FillStyle fill;
    fill.type = type;
    double s = half * 20 / 16384;
    fill.matrix = {s, 0, 0, s, centre.x * 20, centre.y * 20};
    fill.gradient.stops = {
        {0, {255, 240, 200, 255}}, {128, {240, 120, 0, 255}}, {255, {60, 20, 0, 255}}};
    return fill;
}

// A blob of curved edges around the origin, `radius` pixels across.
swf::Shape blob(std::mt19937& random, double radius)
{
    std::uniform_real_distribution<double> unit(0, 1);
    swf::Shape shape;
    shape.groups.resize(1);
    swf::ShapeGroup& g = shape.groups[0];
    const int kind = int(random() % 4);
    swf::FillStyle solid;
    solid.color = {uint8_t(random()), uint8_t(random()), uint8_t(random()),
                   uint8_t(kind == 3 ? 160 : 255)};
    g.fills = {kind == 1   ? gradientFill(swf::FillType::RadialGradient, radius, {0, 0})
               : kind == 2 ? gradientFill(swf::FillType::LinearGradient, radius, {0, 0})
                           : solid};
    swf::LineStyle line;
    line.width = uint16_t(20 + random() % 60);
    line.color = {20, 20, 40, 255};
    g.lines = {line};
    const uint32_t lineIndex = random() % 2;
    const int points = 6 + int(random() % 8);
    std::vector<Point> p;
    for (int i = 0; i < points; ++i) {
        double angle = 2 * M_PI * i / points;
        double r = radius * 20 * (0.6 + 0.4 * unit(random));
        p.push_back({r * std::cos(angle), r * std::sin(angle)});
    }
    for (int i = 0; i < points; ++i) {
        Point a = p[i], b = p[(i + 1) % points];
        Point c{(a.x + b.x) * 0.6, (a.y + b.y) * 0.6};
        addEdge(g, a, c, b, true, 1, lineIndex);
    }
    return shape;
}

struct Scene {
    std::vector<swf::Shape> shapes;
    std::vector<Point> positions;
    swf::Shape background;
};

Scene makeScene()
{
    Scene scene;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(0, 800), y(0, 600), size(6, 70);
    for (int i = 0; i < 300; ++i) {
        scene.shapes.push_back(blob(random, size(random)));
        scene.positions.push_back({x(random), y(random)});
    }
    scene.background =
        rectangle(800, 600, gradientFill(swf::FillType::LinearGradient, 400, {400, 300}));
    return scene;
}

void renderScene(benchmark::State& state, int width, int height, int threads)
{
    static const Scene scene = makeScene();
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    Renderer renderer;
    const double stage = width / 800.0;
    int frame = 0;
    for (auto _ : state) {
        renderer.begin({pixels.data(), width, height, width * 4},
                       {{255, 255, 255, 255}, threads, true});
        renderer.drawShape(scene.background, Matrix::scale(stage / 20, stage / 20), {}, nullptr);
        for (size_t i = 0; i < scene.shapes.size(); ++i) {
            double angle = 0.01 * frame + double(i);
            double s = stage / 20;
            Matrix m{s * std::cos(angle),          s * std::sin(angle),
                     -s * std::sin(angle),         s * std::cos(angle),
                     scene.positions[i].x * stage, scene.positions[i].y * stage};
            renderer.drawShape(scene.shapes[i], m, {}, nullptr);
        }
        renderer.finish();
        ++frame;
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    // ZF_BENCH_DUMP=PREFIX writes the last frame as raw RGBA, to check that a
    // change to the renderer kept its output.
    if (const char* prefix = std::getenv("ZF_BENCH_DUMP")) {
        const std::string path =
            std::string(prefix) + std::to_string(width) + "x" + std::to_string(height) + ".rgba";
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fwrite(pixels.data(), 1, pixels.size(), file);
            std::fclose(file);
        }
    }
}

void BM_Scene800x600OneThread(benchmark::State& state)
{
    renderScene(state, 800, 600, 1);
}
void BM_Scene1920x1080TwoThreads(benchmark::State& state)
{
    renderScene(state, 1920, 1080, 2);
}

void fillRate(benchmark::State& state, const swf::Shape& shape, const Matrix& m)
{
    static const OneBitmap bitmaps;
    std::vector<uint8_t> pixels(800 * 600 * 4);
    Renderer renderer;
    for (auto _ : state) {
        renderer.begin({pixels.data(), 800, 600, 800 * 4}, {{255, 255, 255, 255}, 1, true});
        renderer.drawShape(shape, m, {}, &bitmaps);
        renderer.finish();
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["pixels/s"] =
        benchmark::Counter(double(state.iterations()) * 800 * 600, benchmark::Counter::kIsRate);
}

void BM_FillSolid(benchmark::State& state)
{
    swf::FillStyle fill;
    fill.color = {10, 120, 200, 255};
    fillRate(state, rectangle(800, 600, fill), Matrix::scale(0.05, 0.05));
}

void BM_FillSolidTranslucentRotated(benchmark::State& state)
{
    swf::FillStyle fill;
    fill.color = {10, 120, 200, 128};
    Matrix m = Matrix::translate(400, -250) *
               Matrix{0.05 * 0.8, 0.05 * 0.6, -0.05 * 0.6, 0.05 * 0.8, 0, 0};
    fillRate(state, rectangle(800, 800, fill), m);
}

void BM_FillRadialGradient(benchmark::State& state)
{
    fillRate(state,
             rectangle(800, 600, gradientFill(swf::FillType::RadialGradient, 300, {400, 300})),
             Matrix::scale(0.05, 0.05));
}

void BM_FillBitmapSmooth(benchmark::State& state)
{
    swf::FillStyle fill;
    fill.type = swf::FillType::RepeatingBitmap;
    fill.matrix = {60 * 0.8, 60 * 0.6, -60 * 0.6, 60 * 0.8, 0, 0};
    fillRate(state, rectangle(800, 600, fill), Matrix::scale(0.05, 0.05));
}

void BM_Strokes(benchmark::State& state)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<double> x(0, 16000), y(0, 12000);
    swf::Shape shape;
    shape.groups.resize(1);
    swf::LineStyle line;
    line.width = 40;
    shape.groups[0].lines = {line};
    for (int i = 0; i < 500; ++i)
        addEdge(shape.groups[0], {x(random), y(random)}, {x(random), y(random)},
                {x(random), y(random)}, i % 2, 0, 1);
    fillRate(state, shape, Matrix::scale(0.05, 0.05));
}

} // namespace

// ZF_BENCH_ITERATIONS=N runs every benchmark exactly N times, so that
// instruction counts (callgrind, perf stat) compare like with like on a busy
// machine where wall-clock times do not.
void fixedIterations(benchmark::internal::Benchmark* b)
{
    if (const char* n = std::getenv("ZF_BENCH_ITERATIONS"); n && std::atoi(n) > 0)
        b->Iterations(std::atoi(n));
}

BENCHMARK(BM_FillSolid)->Unit(benchmark::kMillisecond)->Apply(fixedIterations);
BENCHMARK(BM_FillSolidTranslucentRotated)->Unit(benchmark::kMillisecond)->Apply(fixedIterations);
BENCHMARK(BM_FillRadialGradient)->Unit(benchmark::kMillisecond)->Apply(fixedIterations);
BENCHMARK(BM_FillBitmapSmooth)->Unit(benchmark::kMillisecond)->Apply(fixedIterations);
BENCHMARK(BM_Strokes)->Unit(benchmark::kMillisecond)->Apply(fixedIterations);
BENCHMARK(BM_Scene800x600OneThread)->Unit(benchmark::kMillisecond)->Apply(fixedIterations);
BENCHMARK(BM_Scene1920x1080TwoThreads)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(fixedIterations);
