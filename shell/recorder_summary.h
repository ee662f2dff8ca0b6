#pragma once

#include <QLabel>
#include <QString>

namespace vexs {

class SettingsImage;

// The root page's account of which recorder, or file, the pages show, and
// the recorder's serial number in the window's title.
class RecorderSummary : public QLabel
{
    Q_OBJECT
public:
    RecorderSummary(SettingsImage &image, QWidget *parent = nullptr);

private:
    void refresh();

    SettingsImage &m_image;
    QString m_baseTitle; // the window's title before any serial number
};

} // namespace vexs
