#pragma once
// The contents of the Time Adjust dock: six labelled spin boxes (year to second) and
// the Add and Set buttons.
#include <QWidget>

class QPushButton;
class QSpinBox;

class CTimeAdjustPanel : public QWidget {
    Q_OBJECT
public:
    explicit CTimeAdjustPanel(QWidget* parent = nullptr);

    QSpinBox* spinBox_y;
    QSpinBox* spinBox_M;
    QSpinBox* spinBox_d;
    QSpinBox* spinBox_h;
    QSpinBox* spinBox_m;
    QSpinBox* spinBox_s;
    QPushButton* addTime;
    QPushButton* setTime;
};
