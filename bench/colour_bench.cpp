// colour_bench [rounds]
// Processor time of converting one 960 x 720 tagged picture to sRGB: ToSrgb as a run calls it,
// and LittleCMS's own 8-bit transform of the same pixels beside it. Not a test.
#include "image/picture_colour.h"

#include <QCoreApplication>
#include <QFile>

#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

namespace {

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Times {
    double first;  // the profile's tables and transforms made on the way
    double least;  // what the work costs
    double middle; // how busy the machine was
};

// work returns the milliseconds of the part it times.
Times Time(int rounds, const std::function<double()> &work)
{
    const double first = work();
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i)
        ms.push_back(work());
    std::sort(ms.begin(), ms.end());
    return {first, ms.front(), ms[ms.size() / 2]};
}

QByteArray Made(const cmsCIExyYTRIPLE &primaries, cmsToneCurve *curve)
{
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    QByteArray icc(qsizetype(size), '\0');
    cmsSaveProfileToMem(p, icc.data(), &size);
    cmsCloseProfile(p);
    return icc;
}

// Gradients with noise: every pixel differs, as in a photo.
QImage Picture()
{
    QImage image(960, 720, QImage::Format_RGB32);
    std::mt19937 random(1);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(random() % 24);
            row[x] = qRgb((x * 255 / 959 + n) % 256, (y * 255 / 719 + n) % 256, ((x + y) * 255 / 1678 + n) % 256);
        }
    }
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    const double bt709[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
    const auto read = [](const char *path) {
        QFile f(QString::fromLatin1(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const std::vector<std::pair<const char *, QByteArray>> profiles = {
        {"Adobe RGB", read("/usr/share/color/icc/colord/AdobeRGB1998.icc")},
        {"ProPhoto RGB", read("/usr/share/color/icc/colord/ProPhotoRGB.icc")},
        {"Display P3", Made({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
                            cmsBuildParametricToneCurve(nullptr, 4, srgb))},
        {"Rec. 2020", Made({{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}},
                           cmsBuildParametricToneCurve(nullptr, 4, bt709))},
    };
    const QImage picture = Picture();
    std::printf("960 x 720, processor ms per picture, smallest / middle of %d (first: with the profile's set-up):\n",
                rounds);
    std::printf("  %-14s %26s %18s\n", "", "ToSrgb (first)", "lcms transform");
    for (const auto &[name, icc] : profiles) {
        if (icc.isEmpty()) {
            std::printf("  %-14s profile missing\n", name);
            continue;
        }
        // As a run has it: a picture of its own, just resampled, handed over.
        const auto ours = Time(rounds, [&] {
            QImage work = picture.copy();
            const double start = ThreadCpuMs();
            const QImage out = ToSrgb(std::move(work), icc);
            return ThreadCpuMs() - start;
        });
        cmsHPROFILE source = cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
        cmsHPROFILE target = cmsCreate_sRGBProfile();
        cmsHTRANSFORM t = cmsCreateTransform(source, TYPE_BGRA_8, target, TYPE_BGRA_8, INTENT_PERCEPTUAL,
                                             cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
        QImage out(picture.size(), QImage::Format_RGB32);
        const auto lcms = Time(rounds, [&] {
            const double start = ThreadCpuMs();
            cmsDoTransformLineStride(t, picture.constBits(), out.bits(), cmsUInt32Number(out.width()),
                                     cmsUInt32Number(out.height()), cmsUInt32Number(picture.bytesPerLine()),
                                     cmsUInt32Number(out.bytesPerLine()), 0, 0);
            return ThreadCpuMs() - start;
        });
        cmsDeleteTransform(t);
        cmsCloseProfile(target);
        cmsCloseProfile(source);
        std::printf("  %-14s %8.2f / %6.2f (%6.2f)  %8.2f / %6.2f\n", name, ours.least, ours.middle, ours.first,
                    lcms.least, lcms.middle);
    }
    return 0;
}
