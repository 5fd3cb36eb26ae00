// uf_filewrite of a large package in its 32765-byte chunks, with the window's
// event processing between chunks, against one write() of the same bytes.
// Prints median, min and max of each and the throughput ratio.
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "window/w_vercheck.h"
#include "window/window_port.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

class EventPort final : public qlx::WindowPort {
public:
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void setStatusText(const QString&) override {}
    void setStatusTag(const QString&) override {}
    void messageBox(const QString&, const QString&) override {}
    int askYesNo(const QString&, const QString&) override { return 1; }
    void processPendingEvents() override { QCoreApplication::processEvents(); }
    void postUpgradeClick() override {}
    void closeWindow() override {}
};

struct Stats {
    double median, min, max;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const qsizetype size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 400) * 1000 * 1000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath();

    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    }

    qlx::version_check app;
    app.create();
    EventPort port;
    qlx::w_vercheck window(qlx::kCurrentProfile, app, port);

    std::vector<double> chunked;
    std::vector<double> single;
    for (int run = 0; run <= runs; ++run) { // run 0 warms up
        const QString a =
            QDir(folder).filePath(QUuid::createUuid().toString(QUuid::Id128) + ".zip");
        QElapsedTimer timer;
        timer.start();
        if (window.uf_filewrite(a, data) != 1) {
            std::fprintf(stderr, "uf_filewrite failed\n");
            return 1;
        }
        const double t1 = double(timer.nsecsElapsed()) / 1e9;
        QFile::remove(a);

        const QString b =
            QDir(folder).filePath(QUuid::createUuid().toString(QUuid::Id128) + ".zip");
        timer.restart();
        const int fd = ::open(b.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        qsizetype done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data.constData() + done, size_t(size - done));
            if (n <= 0) {
                return 1;
            }
            done += n;
        }
        ::close(fd);
        const double t2 = double(timer.nsecsElapsed()) / 1e9;
        QFile::remove(b);
        if (run > 0) {
            chunked.push_back(t1);
            single.push_back(t2);
        }
    }
    const Stats c = stats(chunked);
    const Stats s = stats(single);
    std::printf("package %lld bytes, %d runs\n", static_cast<long long>(size), runs);
    std::printf("uf_filewrite  median %.3f s (min %.3f, max %.3f)\n", c.median, c.min, c.max);
    std::printf("one write()   median %.3f s (min %.3f, max %.3f)\n", s.median, s.min, s.max);
    std::printf("throughput ratio uf_filewrite / write(): %.2f (target >= 0.75)\n",
                s.median / c.median);
    app.destroy();
    return 0;
}
