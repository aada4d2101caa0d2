#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace ListCtrlEx {

// One record per cell of the list: state of check boxes and radio buttons, the choices of a
// combo cell, the character filter of an edit cell and the figures of a progress bar.
struct CellInfo {
    bool enabled = true;
    bool checked = false;
    int image = -1;  // index into the list's image list; -1 = no image
    int group = 0;   // radio group; cells of radio columns with equal groups exclude each other
    QStringList items;
    QString allowedChars;  // empty = any character
    uint32_t progressPos = 0;
    uint32_t progressMax = 100;
    QColor progressFill;  // the bar's filled part; invalid = the list's usual fill

    static CellInfo forColumn(int column) {
        CellInfo cell;
        cell.group = column;
        return cell;
    }
};

}  // namespace ListCtrlEx
