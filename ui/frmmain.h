#ifndef FRMMAIN_H
#define FRMMAIN_H

#include "flightparams.h"
#include "linkview.h"
#include "timerlink.h"

#include <QWidget>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class UpDown;

// The one window: the port choice and "Connect", the firmware version, the
// eleven parameter rows and the "Set", "Retrieve" and "Test Shutter" buttons.
// Which controls are usable is held by nothing but their enabled states.
class frmMain : public QWidget, private LinkView
{
    Q_OBJECT
public:
    enum MousePointerKind { PointerDefault = 0, PointerHourglass = 11 };

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    TimerLink &link() { return m_link; }
    int MousePointer() const { return m_mousePointer; }

signals:
    // As it happens, so that a busy span can be timed from its two ends.
    void mousePointerChanged(int pointer);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildSerialFrame();
    void buildParamsFrame();
    void setTabOrderAsDesigned();
    void centreOnScreen();

    void Form_Load();
    void optCom_Click(int index);
    void btnConnect_Click();
    void btnGet_Click();
    void btnSet_Click();
    void btnShutter_Click();
    void txtParam_Change(int index);

    // The heading, an empty line and the status text.
    static QString failureText(const QString &heading, qint16 status);
    void setMousePointer(MousePointerKind pointer);
    void showFailure(const QString &text);
    // The reason, what to do about it, and the ports there are to choose from.
    QString openFailureText() const;
    QString openFailureAdvice() const;
    QString presentPortsText() const;

    // LinkView
    int paramValue(int row) const override;
    void setParamValue(int row, int value) override;
    void setRowInUse(int row, bool inUse) override;
    void setVersionText(const QString &text) override;

    TimerLink m_link;
    int m_mousePointer = PointerDefault;

    QGroupBox *fmeSerial;
    std::array<QRadioButton *, 2> optCom;
    QPushButton *btnConnect;
    QLabel *Label1;
    QLineEdit *txtVersion;

    QGroupBox *fmeParams;
    std::array<QLineEdit *, FlightParams::RowCount> txtParam;
    std::array<UpDown *, FlightParams::RowCount> udParam;
    QPushButton *btnSet;
    QPushButton *btnGet;
    QPushButton *btnShutter;
};

#endif
