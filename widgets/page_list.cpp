#include "widgets/page_list.h"

#include "shell/lang.h"
#include "widgets/file_list_ctrl.h"

QString RowStatusText(int code)
{
    static const char *const kStatusKeys[] = {
        "IDS_STATUS_POSSIBLE", "IDS_STATUS_ADD", "IDS_STATUS_CONVERT", "IDS_STATUS_FAIL", "IDS_STATUS_COMPLATE",
    };
    if (code < 0 || code >= int(std::size(kStatusKeys)))
        return QString();
    return Lang::Get(QString::fromLatin1(kStatusKeys[code]));
}

void ConfigurePageList(FileListCtrl &list, const FileListTexts &texts)
{
    constexpr int kWidths[] = {435, 90, 90};
    for (int column = 0; column < int(std::size(kWidths)); ++column)
        list.AddColumn(texts.columnTitles.value(column), kWidths[column], Qt::AlignHCenter);
    list.SetCheckBoxes(true);
    list.SetGridLines(true);
    list.SetFullRowSelect(true);
    list.SetMultipleSelection(true);
    list.SetHeaderFont(0, 14, 700, texts.fontFace);
    list.SetRowFont(0, 14, 0, texts.fontFace);
    // One colour per RowStatus code, the same on both pages so that they read alike.
    list.SetStatusColors({0x666666, 0x000000, 0xFF6600, 0x0000CC, 0x24A9F0, 0, 0});
    list.SetAcceptedExtensions(texts.extensions.join(QLatin1Char(',')), QLatin1Char(','));
}
