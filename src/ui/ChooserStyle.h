#ifndef CHOOSERSTYLE_H
#define CHOOSERSTYLE_H

#include <QProxyStyle>

// The device chooser's style: its list drops down below it instead of
// popping up over it, because a popping list is first widened to its widest
// entry, which means measuring every serial each time it opens.
class ChooserStyle : public QProxyStyle {
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
};

#endif // CHOOSERSTYLE_H
