#pragma once
// The texts of a picture list as a view reads them.
#include <QAbstractItemModel>
#include <QString>

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
