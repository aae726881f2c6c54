#pragma once
// The texts of a picture list as a view reads them, once its columns are filled.
#include "CImageListModel.h"

#include <QAbstractItemModel>
#include <QString>
#include <QTest>

#include <vector>

inline QString cellText(const QAbstractItemModel& model, int row, int column) {
    return model.data(model.index(row, column)).toString();
}

// One column, top to bottom.
inline std::vector<QString> columnTexts(const QAbstractItemModel& model, int column) {
    std::vector<QString> texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.push_back(cellText(model, row, column));
    return texts;
}

// Turns the event loop until the background fill of the list's columns is done.
inline bool fillDone(const CImageListModel& model, int ms = 10000) {
    for (int waited = 0; model.isFilling() && waited < ms; waited += 10)
        QTest::qWait(10);
    return !model.isFilling();
}
