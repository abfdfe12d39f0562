// zentiq-gui-measure: measurements of the player window that a unit test
// must not time.
//
//   zentiq-gui-measure seek [MOVIE]   drag a frame bar across the movie (by
//                                     default a 1,000-frame movie written
//                                     here): time each seek + repaint
//   zentiq-gui-measure open [MOVIE]   time opening the movie in the window (by
//                                     default a 5,000-frame movie)
//   zentiq-gui-measure screenshot MOVIE OUT.png [MS]
//                                     show the window playing MOVIE for MS
//                                     milliseconds (default 2000), save it
#include "app/main_window.h"
#include "flash/shockwave_flash.h"
#include "playback/playback.h"
#include "tests/gui/gui_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using zf::app::TFrmMain;

double milliseconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

QString movieOrFixture(const QStringList& arguments, int index, QTemporaryDir& folder, int frames)
{
    if (arguments.size() > index) {
        return arguments.at(index);
    }
    return zf::guitest::writeMovie(folder.path(), QStringLiteral("long.swf"), frames, 24);
}

// Every position the thumb passes when it is dragged from one end to the
// other, each followed by the repaint that shows it.
int measureSeek(const QString& movie)
{
    TFrmMain window(movie);
    window.resize(1024, 700);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "window not shown\n");
        return 1;
    }
    window.Timer1->stop();
    zf::playback::TMbar& bar = *window.mainFrameBar;
    emit bar.leftButtonDown(); // pauses the movie as a press on the bar does
    std::vector<double> times;
    for (int position = 0; position <= bar.maximum(); ++position) {
        QElapsedTimer timer;
        timer.start();
        bar.setValue(position);
        window.Flash1->repaint();
        times.push_back(milliseconds(timer));
    }
    emit bar.leftButtonUp();
    if (times.empty()) {
        std::fprintf(stderr, "no frames\n");
        return 1;
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double time : times) {
        sum += time;
    }
    std::printf("movie: %s\nframes: %d\nseeks: %zu (at %dx%d device pixels)\n", qPrintable(movie),
                window.Flash1->TotalFrames(), times.size(),
                int(window.Flash1->width() * window.Flash1->devicePixelRatioF()),
                int(window.Flash1->height() * window.Flash1->devicePixelRatioF()));
    std::printf("mean: %.2f ms\nmedian: %.2f ms\np95: %.2f ms\nmax: %.2f ms\n",
                sum / double(times.size()), sorted[sorted.size() / 2],
                sorted[sorted.size() * 95 / 100], sorted.back());
    return 0;
}

// Opening as File > Open does it on a window already on screen: the frame
// count probe, loading, playing, and the first frame painted.
int measureOpen(const QString& movie)
{
    TFrmMain window(QString{});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "window not shown\n");
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const int probed = zf::flash::probeTotalFrames(movie);
    const double probeMs = milliseconds(timer);
    timer.start();
    window.FillFromOpenedFiles({movie});
    const double openMs = milliseconds(timer);
    window.Flash1->repaint();
    const double shownMs = milliseconds(timer);
    std::printf("movie: %s\nframes: %d (probe: %d)\nprobe: %.2f ms\n"
                "opened and playing: %.2f ms\nfirst frame painted: %.2f ms\n",
                qPrintable(movie), window.state().TotalFrameCount, probed, probeMs, openMs,
                shownMs);
    return 0;
}

int screenshot(const QString& movie, const QString& out, int waitMs)
{
    TFrmMain window(movie);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "window not shown\n");
        return 1;
    }
    QTest::qWait(waitMs);
    if (!window.grab().save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s: frame %d of %d\n", qPrintable(out), window.Flash1->FrameNum(),
                window.Flash1->TotalFrames());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const QString mode = arguments.value(1);
    QTemporaryDir folder;
    if (mode == QLatin1String("seek")) {
        return measureSeek(movieOrFixture(arguments, 2, folder, 1000));
    }
    if (mode == QLatin1String("open")) {
        return measureOpen(movieOrFixture(arguments, 2, folder, 5000));
    }
    if (mode == QLatin1String("screenshot") && arguments.size() >= 4) {
        return screenshot(arguments.at(2), arguments.at(3), arguments.value(4, "2000").toInt());
    }
    std::fprintf(stderr, "usage: zentiq-gui-measure seek [MOVIE] | open [MOVIE] | "
                         "screenshot MOVIE OUT.png [MS]\n");
    return 2;
}
