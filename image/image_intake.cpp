#include "image/image_intake.h"

#include "shell/lang.h"

ImageBoxes ImageBoxes::FromLang()
{
    return {QSize(Lang::GetInt(QStringLiteral("IDS_GOPT_OUTHDIMAGE_X")),
                  Lang::GetInt(QStringLiteral("IDS_GOPT_OUTHDIMAGE_Y"))),
            QSize(Lang::GetInt(QStringLiteral("IDS_GOPT_OUTSDIMAGE_X")),
                  Lang::GetInt(QStringLiteral("IDS_GOPT_OUTSDIMAGE_Y")))};
}
