// SPDX-License-Identifier: MIT
// Form1's controls and their layout: every control under its own name, placed where the
// window has it, with its tab order and the name a screen reader gives it.
#include "form1.h"

#include "accessibility.h"
#include "colorbutton.h"
#include "framebox.h"
#include "ipbox.h"
#include "lamp.h"
#include "mscomm.h"
#include "pagemenu.h"
#include "pageoption.h"
#include "picturebutton.h"
#include "tabcontrol.h"
#include "vocabulary.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The layout is given in twips; 15 twips are one logical pixel.
int twips(int value)
{
    return int(std::lround(value / 15.0));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The window, its frames and labels and the tab control are light grey; frames and option
// buttons on the tab pages keep the button face.
const QColor windowGrey(224, 224, 224);

void paintBackground(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void keepButtonFace(QWidget *widget)
{
    paintBackground(widget, widget->palette().color(QPalette::Button));
}

// Tab order as the window gives it, kept on each control so the order can be checked.
void setTabIndex(QWidget *widget, int index)
{
    widget->setProperty("TabIndex", index);
}

// Puts a control in its place and tab order; a tab index of -1 leaves it out of the order.
void place(QWidget *control, const QRect &rect, int tabIndex)
{
    control->setGeometry(rect);
    if (tabIndex >= 0)
        setTabIndex(control, tabIndex);
}

} // namespace

void Form1::createControls()
{
    setUpWindow();
    createOutsideControls();
    createTabControl();
    const QPoint pageOrigin = static_cast<TabControl *>(SSTab1)->pageOrigin();
    createSwitchPage(SSTab1->widget(0), pageOrigin);
    createResolutionPage(SSTab1->widget(1), pageOrigin);
    createIpSettingPage(SSTab1->widget(2), pageOrigin);
    paintPageControls();
    groupOptions();
    nameControlsForScreenReaders();
    createServices();
    setUpKeyboard();
}

void Form1::setUpWindow()
{
    setWindowTitle(QStringLiteral("Velquor"));
    setWindowIcon(QIcon(QStringLiteral(":/velquor.png")));
    // Fixed single border: close box and system menu, no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(7455), twips(8400));
    setFont(QFont(QStringLiteral("Arial"), 9));
    paintBackground(this, windowGrey);
}

void Form1::createOutsideControls()
{
    Command7 = new QPushButton(QStringLiteral("Connect"), this);
    place(Command7, twipsRect(3720, 7200, 1335, 855), 0);

    Frame2 = new FrameBox(QStringLiteral("Connect State"), this);
    place(Frame2, twipsRect(120, 7080, 1575, 975), 1);
    Label6 = new QLabel(QStringLiteral("Connected"), Frame2);
    place(Label6, twipsRect(480, 240, 975, 255), 2);
    Label7 = new QLabel(QStringLiteral("Disconnect"), Frame2);
    place(Label7, twipsRect(480, 600, 975, 255), 3);
    Shape15 = new Lamp(QColor(0, 255, 0), Frame2);
    place(Shape15, twipsRect(120, 240, 255, 255), -1);
    Shape16 = new Lamp(QColor(255, 0, 0), Frame2);
    place(Shape16, twipsRect(120, 600, 255, 255), -1);

    Frame3 = new FrameBox(QStringLiteral("Com Select"), this);
    place(Frame3, twipsRect(1920, 7080, 1575, 975), 4);
    Combo1 = new QComboBox(Frame3);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setEditText(QStringLiteral("Com1"));
    place(Combo1, twipsRect(240, 360, 1095, 345), 5);

    Command6 = new QPushButton(QStringLiteral("Update"), this);
    place(Command6, twipsRect(5640, 7200, 1215, 855), 6);

    for (QWidget *grey : {static_cast<QWidget *>(Frame2), static_cast<QWidget *>(Frame3),
                          static_cast<QWidget *>(Label6), static_cast<QWidget *>(Label7)})
        paintBackground(grey, windowGrey);
}

void Form1::createTabControl()
{
    SSTab1 = new TabControl(this);
    place(SSTab1, twipsRect(480, 360, 6495, 6135), 7);
    paintBackground(SSTab1, windowGrey);
    QWidget *switchPage = new QWidget;
    QWidget *resolutionPage = new QWidget;
    QWidget *ipPage = new QWidget;
    SSTab1->addTab(switchPage, QStringLiteral("Switch"));
    SSTab1->addTab(resolutionPage, QStringLiteral("Resolution"));
    SSTab1->addTab(ipPage, QStringLiteral("IP Setting"));
    SSTab1->setCurrentIndex(0);
    for (QWidget *page : {switchPage, resolutionPage, ipPage})
        paintBackground(page, windowGrey);
}

void Form1::createSwitchPage(QWidget *page, QPoint pageOrigin)
{
    const auto onPage = [&](QWidget *control, const QRect &rect, int tabIndex) {
        place(control, rect.translated(-pageOrigin), tabIndex);
    };
    Frame5 = new FrameBox(page);
    onPage(Frame5, twipsRect(600, 600, 5415, 3495), 14);
    Frame7 = new FrameBox(page);
    onPage(Frame7, twipsRect(1080, 4320, 4575, 735), 16);
    Frame8 = new FrameBox(QStringLiteral("ON"), page);
    onPage(Frame8, twipsRect(1080, 5160, 4575, 735), 22);
    // "Martix" and "Video wall" head their frames, drawn over the frames' top edge.
    Option2.add(0, new PageOption(QStringLiteral("Martix"), page));
    onPage(Option2[0], twipsRect(1920, 520, 855, 375), 15);
    Option2.add(1, new PageOption(QStringLiteral("Video wall"), page));
    onPage(Option2[1], twipsRect(1920, 4240, 1215, 375), 17);

    createSwitchRows();
    createWallInputs();
    createOutputButtons();
    switchPageMenu = new PageMenu(page);
    // The caption boxes only show their text.
    for (const auto &[index, caption] : Text1) {
        caption->setReadOnly(true);
        caption->setFrame(false);
        caption->setFocusPolicy(Qt::NoFocus);
        keepButtonFace(caption);
        QPalette palette = caption->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        caption->setPalette(palette);
    }
}

// One frame in Frame5 for each row, Out1 at the top and "ALL" at the bottom, holding the
// row's options IN1..IN4.
void Form1::createSwitchRows()
{
    struct Row
    {
        int output;
        int top;
        int tabIndex;
    };
    const Row rows[vocabulary::rowCount] = {{1, 360, 55},
                                            {2, 960, 50},
                                            {3, 1560, 45},
                                            {4, 2160, 40},
                                            {vocabulary::allOutputs, 2760, 35}};
    for (const Row &row : rows) {
        const QString caption = row.output == vocabulary::allOutputs
                                    ? QStringLiteral("ALL")
                                    : QStringLiteral("Out%1").arg(row.output);
        auto *frame = new FrameBox(caption, Frame5);
        place(frame, twipsRect(480, row.top, 4575, 615), row.tabIndex);
        // Frame6 counts the rows from the bottom: 0 "ALL", 4 "Out1".
        Frame6.add(vocabulary::allRouteRow - vocabulary::routeRow(row.output), frame);
        ControlArray<QRadioButton> &options = switchRow(row.output);
        for (int k = 0; k < vocabulary::inputCount; ++k) {
            auto *option =
                new QRadioButton(QStringLiteral("IN%1").arg(vocabulary::inputAt(k)), frame);
            place(option, twipsRect(840 + 840 * k, 240, 615, 255), row.tabIndex + 1 + k);
            options.add(k, option);
        }
    }
}

void Form1::createWallInputs()
{
    Text1.add(5, new QLineEdit(QStringLiteral("Input:"), Frame7));
    place(Text1[5], twipsRect(240, 360, 495, 285), 33);
    for (int k = 0; k < vocabulary::inputCount; ++k) {
        Option9.add(k,
                    new QRadioButton(QStringLiteral("IN%1").arg(vocabulary::inputAt(k)), Frame7));
        place(Option9[k], twipsRect(840 + 840 * k, 360, 615, 225), 18 + k);
    }
}

void Form1::createOutputButtons()
{
    Text1.add(6, new QLineEdit(QStringLiteral("Output:"), Frame8));
    place(Text1[6], twipsRect(120, 360, 615, 285), 34);
    for (int k = 0; k < vocabulary::outputCount; ++k) {
        Command8.add(k,
                     new ColorButton(QStringLiteral("out%1").arg(vocabulary::outputAt(k)), Frame8));
        place(Command8[k], twipsRect(840 + 840 * k, 360, 495, 255), 65 + k);
    }
}

void Form1::createResolutionPage(QWidget *page, QPoint pageOrigin)
{
    Frame4 = new FrameBox(QStringLiteral("Resolution Set"), page);
    place(Frame4, twipsRect(360, 720, 5535, 1575).translated(-pageOrigin), 23);
    const int columns[3] = {240, 1920, 3720};
    for (int k = 0; k < vocabulary::resolutionCount; ++k) {
        Option1.add(
            k, new QRadioButton(QString::fromLatin1(vocabulary::resolutionCaption[k]), Frame4));
        place(Option1[k], twipsRect(columns[k % 3], 360 + 360 * (k / 3), 1455, 345), 24 + k);
    }
    Frame9 = new FrameBox(QStringLiteral("Border setting"), page);
    place(Frame9, twipsRect(480, 2640, 5415, 2895).translated(-pageOrigin), 60);
    const auto arrows = [](const char *name) {
        return QPixmap(QStringLiteral(":/arrows-%1.png").arg(QLatin1String(name)));
    };
    Command1 = new PictureButton(arrows("vertical-in"), Frame9);
    place(Command1, twipsRect(1920, 300, 500, 900), 61);
    Command3 = new PictureButton(arrows("horizontal-out"), Frame9);
    place(Command3, twipsRect(720, 1320, 900, 495), 62);
    Command4 = new PictureButton(arrows("vertical-out"), Frame9);
    place(Command4, twipsRect(1920, 1800, 500, 900), 63);
    Command5 = new PictureButton(arrows("horizontal-in"), Frame9);
    place(Command5, twipsRect(2640, 1320, 900, 495), 64);
    Command9 = new QPushButton(QStringLiteral("RESET"), Frame9);
    place(Command9, twipsRect(4200, 2280, 855, 375), 69);
}

void Form1::createIpSettingPage(QWidget *page, QPoint pageOrigin)
{
    const auto onPage = [&](QWidget *control, const QRect &rect, int tabIndex) {
        place(control, rect.translated(-pageOrigin), tabIndex);
    };
    Option10 = new PageOption(QStringLiteral("Automatically obtain ip address"), page);
    onPage(Option10, twipsRect(840, 720, 3375, 255), 8);
    Frame1 = new FrameBox(page);
    onPage(Frame1, twipsRect(600, 1080, 3795, 795), 9);
    ipBox1 = new ipBox(Frame1);
    place(ipBox1, twipsRect(1380, 300, 2175, 315), 10);
    Label1.add(6, new QLabel(QStringLiteral("IP address:"), Frame1));
    place(Label1[6], twipsRect(300, 360, 1035, 315), 11);
    // "Use the following ip address" heads Frame1 and stays visible while Frame1 is hidden.
    Option11 = new PageOption(QStringLiteral("Use the following ip address"), page);
    onPage(Option11, twipsRect(840, 1080, 2895, 255), 12);
    Command2 = new QPushButton(QStringLiteral("OK"), page);
    onPage(Command2, twipsRect(3480, 2280, 975, 375), 13);
}

void Form1::paintPageControls()
{
    for (QWidget *face : {static_cast<QWidget *>(Frame5), static_cast<QWidget *>(Frame7),
                          static_cast<QWidget *>(Frame8), static_cast<QWidget *>(Frame4),
                          static_cast<QWidget *>(Frame9), static_cast<QWidget *>(Frame1)})
        keepButtonFace(face);
    for (const auto &[index, frame] : Frame6)
        keepButtonFace(frame);
    for (QRadioButton *option : findChildren<QRadioButton *>())
        keepButtonFace(option);
    for (QRadioButton *heading : {Option2[0], Option2[1], Option11})
        heading->raise();
}

// The four options standing directly on the tab control form one group across pages; every
// other group is the set of options in one frame.
void Form1::groupOptions()
{
    SSTab1Options = new QButtonGroup(this);
    for (QRadioButton *option : {Option2[0], Option2[1], Option10, Option11})
        SSTab1Options->addButton(option);
    Option10->setChecked(true);
    Frame1->hide();
}

// Screen readers name a control by its caption; these have none, or a caption that says
// little on its own.
void Form1::nameControlsForScreenReaders()
{
    const std::pair<QWidget *, const char *> spokenNames[] = {{Shape15, "Connected"},
                                                              {Shape16, "Disconnected"},
                                                              {Combo1, "COM port"},
                                                              {SSTab1, "Pages"},
                                                              {Frame5, "Routes"},
                                                              {Frame7, "Video wall input"},
                                                              {Frame1, "Fixed ip address"},
                                                              {Text1[5], "Input:"},
                                                              {Text1[6], "Output:"},
                                                              {Command1, "Border vertical in"},
                                                              {Command3, "Border horizontal out"},
                                                              {Command4, "Border vertical out"},
                                                              {Command5, "Border horizontal in"}};
    for (const auto &[control, name] : spokenNames)
        control->setAccessibleName(QString::fromLatin1(name));
    // Each page is named as its tab, so that entering it says where the operator is.
    // The pages' stack, which a screen reader names on the way in, is named as the page shown.
    for (int page = 0; page < SSTab1->count(); ++page)
        SSTab1->widget(page)->setAccessibleName(SSTab1->tabText(page));
    if (auto *pages = SSTab1->findChild<QStackedWidget *>()) {
        auto namePages = [this, pages] {
            pages->setAccessibleName(SSTab1->tabText(SSTab1->currentIndex()));
        };
        connect(SSTab1, &QTabWidget::currentChanged, pages, namePages);
        namePages();
    }
    for (const auto &[index, option] : Option2)
        option->setAccessibleDescription(QStringLiteral("Mode: ") + option->text());

    // Every change the device reports is spoken, whatever has the focus.
    auto *news = new ChangeAnnouncer(this);
    for (QRadioButton *option : findChildren<QRadioButton *>())
        news->watch(option);
    for (const auto &[index, outButton] : Command8)
        news->watch(outButton);
    news->watch(Shape15);
    news->watch(Shape16);
}

void Form1::createServices()
{
    // Nothing starts Timer2; its handler stops it. It is kept so that the window's controls
    // and handlers stay complete as the device's own software has them.
    Timer2 = new QTimer(this);
    Timer2->setInterval(500);

    m_model = new PanelModel(m_ports, this);
    MSComm1 = &m_model->comm();
}

void Form1::setUpKeyboard()
{
    // Return presses the focused push button, as Space does. Qt does that by itself only in
    // dialogs; an auto-default button does it in any window.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(true);

    // Keyboard focus follows the window's tab order; focus starts on Command7.
    QList<QWidget *> focusOrder;
    for (QWidget *control : findChildren<QWidget *>()) {
        if (control->property("TabIndex").isValid() && control->focusPolicy() != Qt::NoFocus)
            focusOrder.append(control);
    }
    std::sort(focusOrder.begin(), focusOrder.end(), [](QWidget *a, QWidget *b) {
        return a->property("TabIndex").toInt() < b->property("TabIndex").toInt();
    });
    for (qsizetype i = 1; i < focusOrder.size(); ++i)
        setTabOrder(focusOrder[i - 1], focusOrder[i]);
    Command7->setFocus();
}
