#pragma once
// A slider style under which a left click on the groove puts the handle where the click was (and
// holds it there until the button is let go), instead of moving it one page towards the click.
// Apply with Apply(slider); the style belongs to the slider.

#include <QProxyStyle>

class QSlider;

class SliderClickStyle : public QProxyStyle {
    Q_OBJECT
public:
    SliderClickStyle();

    static void Apply(QSlider* slider);

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
