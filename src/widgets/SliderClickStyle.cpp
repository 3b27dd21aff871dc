#include "widgets/SliderClickStyle.h"

#include <QApplication>
#include <QSlider>

SliderClickStyle::SliderClickStyle() : QProxyStyle(QApplication::style()->name()) {}

void SliderClickStyle::Apply(QSlider* slider) {
    auto* style = new SliderClickStyle;
    style->setParent(slider);
    slider->setStyle(style);
}

int SliderClickStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                QStyleHintReturn* returnData) const {
    if (hint == QStyle::SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
    if (hint == QStyle::SH_Slider_PageSetButtons) return Qt::NoButton;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
