#include "CTimeAdjustPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace {
QSpinBox* addSpinBox(QGridLayout* grid, QWidget* parent, const char* name, const char* labelName,
                     const char* text, int minimum, int maximum, int row, int column) {
    auto* label = new QLabel(QObject::tr(text), parent);
    label->setObjectName(labelName);
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    label->setBuddy(box);
    grid->addWidget(box, row, column * 2);
    grid->addWidget(label, row, column * 2 + 1);
    return box;
}
}  // namespace

CTimeAdjustPanel::CTimeAdjustPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("dockWidgetContentsTimeAdjust");
    setMinimumSize(302, 105);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    spinBox_y = addSpinBox(grid, this, "spinBox_y", "labelYear", "year", -100, 3000, 0, 0);
    spinBox_M = addSpinBox(grid, this, "spinBox_M", "labelMonth", "month", -12, 12, 0, 1);
    spinBox_d = addSpinBox(grid, this, "spinBox_d", "labelDay", "day", -366, 366, 0, 2);
    spinBox_h = addSpinBox(grid, this, "spinBox_h", "labelHour", "hour", -24, 24, 1, 0);
    spinBox_m = addSpinBox(grid, this, "spinBox_m", "labelMinute", "minute", -60, 60, 1, 1);
    spinBox_s = addSpinBox(grid, this, "spinBox_s", "labelSecond", "second", -60, 60, 1, 2);
    addTime = new QPushButton(tr("Add"), this);
    addTime->setObjectName("addTime");
    setTime = new QPushButton(tr("Set"), this);
    setTime->setObjectName("setTime");
    grid->addWidget(addTime, 2, 0, 1, 3);
    grid->addWidget(setTime, 2, 3, 1, 3);
    setTabOrder(spinBox_h, spinBox_m);
    setTabOrder(spinBox_m, spinBox_s);
    setTabOrder(spinBox_s, addTime);
}
