#pragma once

#include "ui/page.h"

class QPushButton;

namespace vexs {

struct PenCommand;

// The service page: the hidden tests tab and the calibration tab with the
// coefficient table of the four channels and the factory calibration panel
// (input calibration steps and the pen calibration group).
class ServicePage : public ChannelPage
{
    Q_OBJECT
public:
    explicit ServicePage(PageContext &context, QWidget *parent = nullptr);

    void relabelChannels(const ChannelPresence &presence) override;

    // Reads the five coefficient groups of channel n into its column; stops
    // at the first group without a valid reply, keeping those shown.
    void ButtonReadCoeffCAN1Click(int n);

    // Calibration panel.
    void ListBoxCalibrClick();
    void ButtonSelectCalibrUpClick();
    void ButtonSelectCalibrDownClick();
    void UpDownCalibrCanChanging(int position);
    void ButtonCalibrClick();

    // Pen calibration group.
    void Button4Click();
    void Button6Click();
    void Button8Click();
    void Button10Click();
    void Button32Click();
    void Button33Click();
    void Button34Click();

private:
    QWidget *buildTestsTab();
    QWidget *buildCoefficientTable();
    QWidget *buildCalibrationPanel();
    QWidget *buildPenGroup(QWidget *parent);
    void runPenCommand(const PenCommand &command);
    void selectCalibrationItem(int index);

    QPushButton *m_calibrate = nullptr;
};

} // namespace vexs
