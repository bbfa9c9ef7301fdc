#pragma once

#include <QWidget>

// The thank-you window behind the toolbar's heart: our artwork and a few words. Made once, then
// shown again as it was.
class SponsorWindow : public QWidget
{
public:
    explicit SponsorWindow(QWidget *parent = nullptr);
};
