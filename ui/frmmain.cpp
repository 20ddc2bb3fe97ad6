#include "frmmain.h"
#include "openadvice.h"
#include "stopwatchicon.h"
#include "updown.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {

const QString AppTitle = QStringLiteral("RURUZidura");

// The layout is kept in twips, 15 to a pixel.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

QFont sansSerif(qreal points, bool bold, bool italic)
{
    // The nearest sans-serif where the classic face is missing.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void setBackground(QWidget *widget, QPalette::ColorRole systemColour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, QGuiApplication::palette().color(systemColour));
    widget->setPalette(palette);
}

// Widths of the name label, the box and the spinner's left edge and width, per row.
struct RowGeometry
{
    int nameWidth, boxWidth, spinLeft, spinWidth;
};
constexpr std::array<RowGeometry, FlightParams::RowCount> rowGeometry{ {
        { 1695, 615, 3000, 240 },
        { 1815, 615, 3016, 240 },
        { 2295, 615, 3016, 240 },
        { 2175, 615, 3016, 240 },
        { 1935, 615, 3016, 240 },
        { 1815, 615, 3016, 240 },
        { 1815, 615, 3016, 240 },
        { 1575, 615, 3016, 240 },
        { 1815, 600, 3015, 255 },
        { 1575, 600, 3015, 255 },
        { 1575, 600, 3015, 255 },
} };
constexpr std::array<int, FlightParams::RowCount> nameLabelNumber{ 2, 3, 4,  5,  6, 7,
                                                                   8, 9, 18, 19, 20 };
constexpr std::array<int, FlightParams::RowCount> unitLabelNumber{ 10, 11, 12, 13, 14, 15,
                                                                   16, 17, 23, 22, 24 };

// System colours as palette roles: window background, active border, menu background.
constexpr QPalette::ColorRole WindowBackground = QPalette::Base;
constexpr QPalette::ColorRole ActiveBorder = QPalette::Button;
constexpr QPalette::ColorRole MenuBackground = QPalette::Window;

} // namespace

frmMain::frmMain(QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                      | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_link(this)
{
    setObjectName("frmMain");
    setWindowTitle(QStringLiteral("PERLO-II Timer Control Interface"));
    setWindowIcon(stopwatchIcon());
    setFont(sansSerif(8, false, false));
    setFixedSize(px(5175), px(7845));

    buildSerialFrame();
    buildParamsFrame();
    setTabOrderAsDesigned();
    centreOnScreen();
    Form_Load();
    optCom[0]->setFocus();
}

frmMain::~frmMain()
{
    if (m_mousePointer != PointerDefault)
        QGuiApplication::restoreOverrideCursor();
}

void frmMain::buildSerialFrame()
{
    fmeSerial = new QGroupBox(QStringLiteral("Serial Interface"), this);
    fmeSerial->setObjectName("fmeSerial");
    fmeSerial->setGeometry(twipsRect(120, 120, 4935, 1215));

    auto *ports = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) {
        optCom[i] = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), fmeSerial);
        optCom[i]->setObjectName(QStringLiteral("optCom(%1)").arg(i));
        optCom[i]->setGeometry(twipsRect(240, 360 + 360 * i, 855, 195));
        optCom[i]->installEventFilter(this); // for a tooltip of the moment
        ports->addButton(optCom[i], i);
    }
    optCom[0]->setChecked(true);
    connect(ports, &QButtonGroup::idClicked, this, &frmMain::optCom_Click);

    btnConnect = new QPushButton(QStringLiteral("Connect"), fmeSerial);
    btnConnect->setObjectName("btnConnect");
    btnConnect->setGeometry(twipsRect(3720, 240, 975, 375));
    connect(btnConnect, &QPushButton::clicked, this, &frmMain::btnConnect_Click);

    Label1 = new QLabel(QStringLiteral("Timer Firmware Version"), fmeSerial);
    Label1->setObjectName("Label1");
    Label1->setGeometry(twipsRect(1920, 840, 1695, 255));
    // The stand-ins for the classic face are wider: let the caption grow
    // leftwards into the empty part of the frame rather than clip it.
    const int missing = Label1->sizeHint().width() - Label1->width();
    if (missing > 0) {
        Label1->setGeometry(Label1->geometry().adjusted(-missing, 0, 0, 0));
        Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    txtVersion = new QLineEdit(fmeSerial);
    txtVersion->setObjectName("txtVersion");
    txtVersion->setGeometry(twipsRect(3720, 720, 975, 375));
    txtVersion->setReadOnly(true);
    txtVersion->setAlignment(Qt::AlignCenter);
    txtVersion->setFont(sansSerif(12, true, false));
    txtVersion->setAccessibleName(Label1->text());
    setBackground(txtVersion, MenuBackground);
}

void frmMain::buildParamsFrame()
{
    fmeParams = new QGroupBox(QStringLiteral("Flight Parameters"), this);
    fmeParams->setObjectName("fmeParams");
    fmeParams->setGeometry(twipsRect(120, 1440, 4935, 6255));

    const QFont labelFont = sansSerif(9.75, true, true);
    const QFont boxFont = sansSerif(12, true, false);
    for (const FlightParam &param : FlightParams::table()) {
        const int i = param.row;
        const int top = 360 + 480 * i;
        const RowGeometry &g = rowGeometry[size_t(i)];

        auto *name = new QLabel(QString::fromLatin1(param.name), fmeParams);
        name->setObjectName(QStringLiteral("Label%1").arg(nameLabelNumber[size_t(i)]));
        name->setGeometry(twipsRect(240, top, g.nameWidth, 255));
        name->setFont(labelFont);

        QLineEdit *box = txtParam[size_t(i)] = new QLineEdit(fmeParams);
        box->setObjectName(QStringLiteral("txtParam(%1)").arg(i));
        box->setGeometry(twipsRect(2400, top, g.boxWidth, 420));
        box->setReadOnly(true);
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        box->setFont(boxFont);
        setBackground(box, WindowBackground);
        connect(box, &QLineEdit::textChanged, this, [this, i] { txtParam_Change(i); });

        UpDown *spin = udParam[size_t(i)] = new UpDown(fmeParams);
        spin->setObjectName(QStringLiteral("udParam(%1)").arg(i));
        spin->setGeometry(twipsRect(g.spinLeft, top, g.spinWidth, 420));
        spin->setRange(param.minimum, param.maximum);
        spin->setIncrement(param.step);
        spin->setBuddy(box);
        // A screen reader says the row's name and unit for the box and the spinner.
        for (QWidget *control : std::initializer_list<QWidget *>{ box, spin }) {
            control->setAccessibleName(QString::fromLatin1(param.name));
            control->setAccessibleDescription(QString::fromLatin1(param.unit));
        }

        auto *unit = new QLabel(QString::fromLatin1(param.unit), fmeParams);
        unit->setObjectName(QStringLiteral("Label%1").arg(unitLabelNumber[size_t(i)]));
        unit->setGeometry(twipsRect(3360, top, 1335, 255));
        unit->setFont(labelFont);
    }

    btnSet = new QPushButton(QStringLiteral("Set"), fmeParams);
    btnSet->setObjectName("btnSet");
    btnSet->setGeometry(twipsRect(360, 5760, 1215, 375));
    btnSet->setEnabled(false);
    connect(btnSet, &QPushButton::clicked, this, &frmMain::btnSet_Click);

    btnGet = new QPushButton(QStringLiteral("Retrieve"), fmeParams);
    btnGet->setObjectName("btnGet");
    btnGet->setGeometry(twipsRect(1920, 5760, 1215, 375));
    connect(btnGet, &QPushButton::clicked, this, &frmMain::btnGet_Click);

    btnShutter = new QPushButton(QStringLiteral("Test Shutter"), fmeParams);
    btnShutter->setObjectName("btnShutter");
    btnShutter->setGeometry(twipsRect(3480, 5760, 1215, 375));
    connect(btnShutter, &QPushButton::clicked, this, &frmMain::btnShutter_Click);

    fmeParams->setEnabled(false);
}

void frmMain::setTabOrderAsDesigned()
{
    QList<QWidget *> order{ optCom[0], optCom[1],   btnConnect, txtVersion,  btnShutter, btnSet,
                            btnGet,    txtParam[0], udParam[0], txtParam[1], udParam[1] };
    for (int i = 2; i <= 7; ++i)
        order.append(txtParam[size_t(i)]);
    for (int i = 2; i <= 7; ++i)
        order.append(udParam[size_t(i)]);
    for (int i = 8; i <= 10; ++i)
        order.append(txtParam[size_t(i)]);
    for (int i = 8; i <= 10; ++i)
        order.append(udParam[size_t(i)]);
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmMain::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

QString frmMain::failureText(const QString &heading, qint16 status)
{
    return heading + QStringLiteral("\r\n\r\n") + TimerLink::StatusText(status);
}

void frmMain::setMousePointer(MousePointerKind pointer)
{
    if (pointer == m_mousePointer)
        return;
    if (pointer == PointerHourglass)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
    m_mousePointer = pointer;
    emit mousePointerChanged(pointer);
}

void frmMain::showFailure(const QString &text)
{
    // Nobody is left to read it once the window is closing.
    if (m_link.abandoned())
        return;
    QMessageBox box(QMessageBox::Critical, AppTitle, text, QMessageBox::Ok, this);
    box.exec();
}

QString frmMain::openFailureText() const
{
    const SerialControl &port = m_link.comPERLO;
    return QStringLiteral("Cannot open COM%1 (%2)\r\n\r\n%3")
                   .arg(port.CommPort())
                   .arg(port.device(), port.openError())
            + openFailureAdvice() + QStringLiteral("\r\n\r\n") + presentPortsText();
}

QString frmMain::openFailureAdvice() const
{
    const SerialControl &port = m_link.comPERLO;
    if (port.openErrorKind() != QSerialPort::PermissionError)
        return {};
    const QString group = OpenAdvice::groupToJoin(port.device());
    if (!group.isEmpty())
        return group;
    // Allowed to open the device, yet refused: another program holds its lock.
    return QStringLiteral("\r\n\r\nAnother program is using the port; close it and try again.");
}

QString frmMain::presentPortsText() const
{
    const QList<PresentPort> present = m_link.comPERLO.presentPorts();
    if (present.isEmpty())
        return QStringLiteral(
                "This computer has no serial port: the timer needs a USB serial adapter.");
    QString text = QStringLiteral("Serial ports present:");
    for (const PresentPort &p : present)
        text += QStringLiteral("\r\n") + PortMap::describe(p);
    return text
            + QStringLiteral("\r\nCOM1 and COM2 are the first two of them. For another port, "
                             "set RURUZIDURA_COM1 to its device.");
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip && (watched == optCom[0] || watched == optCom[1])) {
        auto *option = static_cast<QRadioButton *>(watched);
        option->setToolTip(m_link.comPERLO.deviceDescription(option == optCom[0] ? 1 : 2));
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // An exchange may be waiting under this event: let it end at once.
    m_link.abandon();
    event->accept();
}

void frmMain::Form_Load()
{
    m_link.Form_Load();
}

void frmMain::optCom_Click(int index)
{
    m_link.comPERLO.setCommPort(qint16(index + 1));
}

void frmMain::btnConnect_Click()
{
    btnConnect->setEnabled(false);
    fmeSerial->setEnabled(false);
    setMousePointer(PointerHourglass);
    if (!m_link.comPERLO.setPortOpen(true)) {
        setMousePointer(PointerDefault);
        showFailure(openFailureText());
        btnConnect->setEnabled(true);
        fmeSerial->setEnabled(true);
        return;
    }
    const qint16 status = m_link.ReadVersion();
    setMousePointer(PointerDefault);
    if (m_link.abandoned())
        return;
    if (status != TimerLink::StatusOk) {
        showFailure(failureText(QStringLiteral("Error getting timer firmware version"), status));
        m_link.comPERLO.setPortOpen(false);
        btnConnect->setEnabled(true);
        fmeSerial->setEnabled(true);
        return;
    }
    // The parameter frame opens only once the read is over, so that nothing
    // in it can start a second exchange or step a row while the read waits.
    const bool ok = m_link.ReadParams();
    fmeParams->setEnabled(true);
    if (ok) {
        btnSet->setEnabled(false);
        btnShutter->setEnabled(true);
    } else {
        showFailure(QStringLiteral("Error retreiving parameters"));
    }
}

void frmMain::btnGet_Click()
{
    btnGet->setEnabled(false);
    fmeParams->setEnabled(false);
    setMousePointer(PointerHourglass);
    const bool ok = m_link.ReadParams();
    setMousePointer(PointerDefault);
    if (ok) {
        btnSet->setEnabled(false);
        btnShutter->setEnabled(true);
    } else {
        showFailure(QStringLiteral("Error Retreiving Flight Parameters"));
    }
    btnGet->setEnabled(true);
    fmeParams->setEnabled(true);
}

void frmMain::btnSet_Click()
{
    btnSet->setEnabled(false);
    fmeParams->setEnabled(false);
    setMousePointer(PointerHourglass);
    const qint16 status = m_link.WriteParams();
    setMousePointer(PointerDefault);
    if (status != TimerLink::StatusOk) {
        showFailure(failureText(QStringLiteral("Error Setting Flight Parameters"), status));
        btnSet->setEnabled(true);
    } else {
        btnShutter->setEnabled(true);
    }
    fmeParams->setEnabled(true);
}

void frmMain::btnShutter_Click()
{
    btnShutter->setEnabled(false);
    fmeParams->setEnabled(false);
    setMousePointer(PointerHourglass);
    const qint16 status = m_link.TestShutter();
    setMousePointer(PointerDefault);
    if (status != TimerLink::StatusOk)
        showFailure(failureText(QStringLiteral("Error Testing Shutter: "), status));
    btnShutter->setEnabled(true);
    fmeParams->setEnabled(true);
}

void frmMain::txtParam_Change(int index)
{
    btnSet->setEnabled(true);
    if (index == FlightParams::ShutterSpeedRow)
        btnShutter->setEnabled(false);
}

int frmMain::paramValue(int row) const
{
    return udParam[size_t(row)]->Value();
}

void frmMain::setParamValue(int row, int value)
{
    udParam[size_t(row)]->setValue(value);
}

void frmMain::setRowInUse(int row, bool inUse)
{
    udParam[size_t(row)]->setEnabled(inUse);
    txtParam[size_t(row)]->setEnabled(inUse);
    setBackground(txtParam[size_t(row)], inUse ? WindowBackground : ActiveBorder);
}

void frmMain::setVersionText(const QString &text)
{
    txtVersion->setText(text);
}
