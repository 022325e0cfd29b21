#pragma once

#include "shell/output_folder.h"

#include <QImage>
#include <QMetaType>
#include <QSize>
#include <QString>

#include <functional>

// Converting one picture into a resized JPEG file: the output size for a target box, the
// output name that never takes an existing file, and the conversion itself. Plain functions,
// safe to call from any thread (each call has its own reader and writer).

// Why a picture was not converted. None means the output exists, complete.
enum class ImageError {
    None,
    Unreadable,  // missing, empty, unknown or damaged data
    TooLarge,    // dimensions past what we decode (decompression bombs), or an output that large
    BadBox,      // a target box with a zero or negative side
    WriteFailed, // the output folder cannot take the file, or the encoder failed
    OutputTaken, // a file of the output name appeared before ours could be put in place
    TooThin,     // a picture so long and thin that one of its output sides would be empty
};
Q_DECLARE_METATYPE(ImageError)

// Short English text for diagnostics and tests; the window shows its own status keys.
const char *ImageErrorText(ImageError error);

// Image-library format numbering kept by the settings and the list: BMP 1, GIF 2, JPEG 3, PNG 4.
enum class ImageFormat { Bmp = 1, Gif = 2, Jpeg = 3, Png = 4 };

// The format a path names by its extension, upper-cased and compared exactly
// ("JPG"/"JPEG", "BMP", "PNG", "GIF"); anything else, no extension included, is BMP.
ImageFormat ImageFormatFromPath(const QString &path);

// Output size of a w x h picture in a W x H box. A square box or a picture at least as wide
// (relative to its height) as the box is bound by the box width, otherwise by its height;
// small pictures are enlarged; odd results are lowered by one. Ratios in single precision,
// so that 1920 x 1080 in 1280 x 720 stays 1280 x 720. A box or picture with a side <= 0 gives
// an empty size.
QSize FitToBox(int width, int height, int boxWidth, int boxHeight);

// In folder, the base name of sourceName + ".jpg", or "(1)", "(2)", ... before ".jpg" while a
// file (or a dangling link) of that name exists; empty when the folder is not valid.
QString MakeImageOutputPath(const OutputFolder &folder, const QString &sourceName);

struct ImageConvertOptions {
    QSize box;           // target box
    int rotateSteps = 0; // clockwise quarter turns after the photo's own orientation: 0..3
};

// Loads input (its content decides the format, whatever its extension says), applies the EXIF
// orientation, then the quarter turns, resamples smoothly to FitToBox of the turned size,
// converts it to sRGB when it says it is in other colours, puts transparent parts on white and
// writes a JPEG of quality 100 without a colour profile.
// The file is written under a temporary name in the output's folder and renamed to outputPath
// only when complete; an existing file is never replaced (OutputTaken). On any error nothing
// is left behind. *outputSize receives the written size when given.
ImageError ConvertImage(const QString &inputPath, const QString &outputPath, const ImageConvertOptions &options,
                        QSize *outputSize = nullptr);

// ConvertImage in three steps, so that a run can make several pictures at once and still
// name and write them in list order. LoadPicture does the reading and the checks on the source
// (size limits, cut files); EncodePicture resamples, turns and makes the JPEG in memory;
// WritePicture puts it in place. All are safe on any thread.
struct LoadedPicture {
    ImageError error = ImageError::None; // None: image holds the decoded picture
    QImage image;                        // EXIF orientation applied; maybe decoded reduced
    QSize target;                        // the output size
    int rotateSteps = 0;                 // 0..3
    QByteArray colourProfile;            // ICC profile of a picture not in sRGB, else empty
};
// reserve, when given, is called once with DecodedBytes' answer after the header is read and
// before anything is decoded, even for a picture that will be refused; false gives up the load
// (Unreadable). A run takes its share of the budget there without reading the header twice.
LoadedPicture LoadPicture(const QString &inputPath, const ImageConvertOptions &options,
                          const std::function<bool(qint64 bytes)> &reserve = {});
struct EncodedPicture {
    ImageError error = ImageError::None; // None: jpeg holds the whole output file
    QByteArray jpeg;
    QSize size;
};
// Carries picture.error on when the load failed.
EncodedPicture EncodePicture(const LoadedPicture &picture);
// Returns picture.error when an earlier step failed; may be called again with another name
// after OutputTaken.
ImageError WritePicture(const EncodedPicture &picture, const QString &outputPath, QSize *outputSize = nullptr);

// Largest picture decoded in full, in pixels (12000 x 12000 fits), and the matching reader
// allocation limit in megabytes (8 bytes a pixel covers 16-bit PNG).
inline constexpr qint64 kMaxSourcePixels = 250'000'000;
inline constexpr int kImageAllocationLimitMb = 2000;
// The memory of decoded pictures one image run holds at once, all of them together.
inline constexpr qint64 kImageRunBudgetBytes = qint64(1) << 30;
// JPEG files up to this size are read whole before decoding, and count in the budget.
inline constexpr qint64 kJpegInMemoryBytes = qint64(64) << 20;
// What LoadPicture and EncodePicture will need at most for the picture at once: the decoded
// picture and its working copy while it is resampled. A PNG that would take more than a
// quarter of the run's budget is decoded reduced instead. 0 when its header cannot be read.
qint64 DecodedBytes(const QString &inputPath, const ImageConvertOptions &options);

// Raises QImageReader's process-wide allocation limit once. Called by ConvertImage; call it
// early on the window thread too so that no reader runs while it changes.
void EnsureImageAllocationLimit();
