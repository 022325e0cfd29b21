#pragma once

#include "shell/file_intake.h"

class FileListCtrl;

// The look both pages give their file list: three centred columns of 435, 90 and 90 pixels,
// check boxes, grid lines, full-row multiple selection, 14-pixel fonts (bold header), the
// row-status colours and the accepted extensions. Window thread.
void ConfigurePageList(FileListCtrl &list, const FileListTexts &texts);

// The status column's text for a row-status code (0-4); empty for any other code.
QString RowStatusText(int code);
