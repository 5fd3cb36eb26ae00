#include "window/qt/vercheck_window.h"

#include "window/build_profile.h"
#include "window/qt/box_automation.h"
#include "window/qt/unexpected_error_box.h"
#include "window/window_layout.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <qdrawutil.h>

namespace qlx {

namespace {

QString utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor toColor(const Rgb& rgb) {
    return {rgb.red, rgb.green, rgb.blue};
}

void registerSubstitutes() {
    // The client machines render the layout's face, a fixed-pitch Hangul font;
    // elsewhere the first installed substitute that covers Hangul stands in.
    static const bool once = [] {
        QFont::insertSubstitutions(QStringLiteral("굴림체"),
                                   {QStringLiteral("GulimChe"), QStringLiteral("Gulim"),
                                    QStringLiteral("NanumGothicCoding"),
                                    QStringLiteral("NanumGothic")});
        return true;
    }();
    (void)once;
}

QTableView* newTable(QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setWindowTitle(QStringLiteral("none"));
    table->setFrameShadow(QFrame::Sunken);
    return table;
}

QLabel* newLabel(const ControlSpec& item, const QPalette& textPalette, QWidget* parent) {
    auto* label = new QLabel(utf8(item.text), parent);
    label->setFont(layoutFont(item.font.face, item.font.points, item.font.weight));
    label->setPalette(textPalette);
    label->setAutoFillBackground(true);
    label->setFocusPolicy(Qt::NoFocus);
    label->setAlignment(item.alignment == TextAlignment::Centre ? Qt::AlignHCenter | Qt::AlignTop
                                                                : Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QProgressBar* newProgressBar(const WindowLayout& layout, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    // Nothing steps the bar, so its design-time step has no Qt
    // counterpart; callers set positions.
    bar->setMaximum(kProgressMaximum);
    bar->setValue(kProgressPosition);
    bar->setTextVisible(false);
    if (!layout.smoothProgressBar) {
        // Blocks, as the classic bar draws them.
        bar->setStyleSheet(QStringLiteral(
            "QProgressBar::chunk { width: 8px; margin: 1px; background: #0a246a; }"));
    }
    return bar;
}

QPushButton* newButton(const ControlSpec& item, QWidget* parent) {
    auto* button = new QPushButton(utf8(item.text), parent);
    button->setFont(layoutFont(item.font.face, item.font.points, item.font.weight));
    return button;
}

void placeControl(QWidget& control, const ControlSpec& item) {
    control.setObjectName(utf8(item.name));
    control.setGeometry(toPixels(item.x), toPixels(item.y), toPixels(item.width),
                        toPixels(item.height));
    control.setVisible(item.visible);
    if (!item.visible) {
        // Hidden triggers: never shown, so never focused or clicked by the
        // user, and out of any tab chain whatever their design-time order.
        control.setFocusPolicy(Qt::NoFocus);
    }
}

// The generic application icon: a window with its title bar. Drawn rather
// than taken from the style, whose stock images are files that make Qt load
// every image format plugin it has to find out which one reads them.
QIcon applicationIcon() {
    constexpr int kSide = 32;
    QPixmap picture(kSide, kSide);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    const QRect frame(2, 4, kSide - 4, kSide - 8);
    painter.fillRect(frame, Qt::white);
    painter.fillRect(QRect(frame.topLeft(), QSize(frame.width(), 6)), QColor(0, 0, 128));
    painter.setPen(Qt::black);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    return {picture};
}

} // namespace

QFont layoutFont(std::string_view face, int points, int weight) {
    registerSubstitutes();
    QFont font(utf8(face));
    font.setPointSize(points);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setFixedPitch(true);
    font.setStyleHint(QFont::Monospace);
    return font;
}

VercheckWindow::VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app,
                               QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      logic_(std::make_unique<w_vercheck>(profile, app, *this)) {
    const WindowLayout& layout = *profile.layout;
    setObjectName(QStringLiteral("w_vercheck"));
    setWindowTitle(utf8(layout.title));
    setWindowIcon(applicationIcon());
    resize(toPixels(layout.width), toPixels(layout.height));

    QPalette windowPalette = palette();
    const QColor background =
        layout.background ? toColor(*layout.background) : windowPalette.color(QPalette::Button);
    windowPalette.setColor(QPalette::Window, background);
    setPalette(windowPalette);
    setAutoFillBackground(true);

    buildControls(layout);

    // The hidden buttons are the window's triggers; each click is an event
    // entry of its own.
    const auto wire = [this](const char* name, void (w_vercheck::*handler)()) {
        auto* button = qobject_cast<QPushButton*>(control(name));
        connect(button, &QPushButton::clicked, this,
                [this, handler] { runEventEntry(this, [&] { (logic_.get()->*handler)(); }); });
    };
    wire("cb_up", &w_vercheck::cb_up_clicked);
    wire("cb_exit", &w_vercheck::cb_exit_clicked);
    wire("cb_exit1", &w_vercheck::cb_exit1_clicked);
}

VercheckWindow::VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app,
                               w_vercheck::Services services, QWidget* parent)
    : VercheckWindow(profile, app, parent) {
    logic_ = std::make_unique<w_vercheck>(profile, app, *this, std::move(services));
}

VercheckWindow::~VercheckWindow() {
    // Controls are released in control order, as they were created.
    for (QWidget* control : controls_) {
        delete control;
    }
}

void VercheckWindow::buildControls(const WindowLayout& layout) {
    QPalette textPalette = palette();
    if (layout.textColour) {
        textPalette.setColor(QPalette::WindowText, toColor(*layout.textColour));
    }

    for (const ControlSpec& item : layout.controls) {
        QWidget* control = createControl(item, layout, textPalette);
        placeControl(*control, item);
        controls_.push_back(control);
    }
    for (const ControlSpec& item : layout.controls) {
        if (item.raised) {
            control(item.name.data())->raise();
        }
    }
}

QWidget* VercheckWindow::createControl(const ControlSpec& item, const WindowLayout& layout,
                                       const QPalette& textPalette) {
    switch (item.kind) {
    case ControlKind::DataTable:
        return newTable(this);
    case ControlKind::StaticText: {
        QLabel* label = newLabel(item, textPalette, this);
        if (item.name == "st_1") {
            st_1_ = label;
        }
        return label;
    }
    case ControlKind::ProgressBar:
        hpb_1_ = newProgressBar(layout, this);
        return hpb_1_;
    case ControlKind::CommandButton:
        return newButton(item, this);
    }
    return nullptr;
}

QWidget* VercheckWindow::control(const char* name) const {
    for (QWidget* c : controls_) {
        if (c->objectName() == QLatin1String(name)) {
            return c;
        }
    }
    return nullptr;
}

void VercheckWindow::openWindow() {
    logic_->open();
    if (closedByHandler_) {
        return;
    }
    centreOnScreen();
    show();
    // Where the platform never exposes the window (minimised at start, no
    // compositor), the update must still run.
    QTimer::singleShot(kFirstPaintWait, this, [this] {
        if (upgradePending_) {
            deliverUpgradeClick();
        }
    });
}

void VercheckWindow::centreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void VercheckWindow::setProgressMaximum(int maximum) {
    hpb_1_->setMaximum(maximum);
}

void VercheckWindow::setProgressPosition(int position) {
    hpb_1_->setValue(position);
}

void VercheckWindow::setStatusText(const std::string& text) {
    st_1_->setText(utf8(text));
}

void VercheckWindow::setStatusTag(const std::string& tag) {
    // The tag is st_1's own invisible string: it lives on the label, where
    // nothing draws it.
    st_1_->setProperty("tag", utf8(tag));
}

void VercheckWindow::messageBox(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Information, utf8(title), utf8(text), QMessageBox::Ok, this);
    execBox(box);
}

int VercheckWindow::askYesNo(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Information, utf8(title), utf8(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return execBox(box) == QMessageBox::Yes ? 1 : 2;
}

void VercheckWindow::processPendingEvents() {
    QCoreApplication::processEvents();
}

void VercheckWindow::postUpgradeClick() {
    // The update runs in the window's own thread and paints only between
    // package chunks: started before the first paint, it would leave an empty
    // window through the connect and the first download. The click waits for
    // the first paint of the shown window.
    if (painted_) {
        deliverUpgradeClick();
        return;
    }
    upgradePending_ = true;
}

void VercheckWindow::deliverUpgradeClick() {
    upgradePending_ = false;
    QMetaObject::invokeMethod(control("cb_up"), "click", Qt::QueuedConnection);
}

void VercheckWindow::closeWindow() {
    closedByHandler_ = true;
    close();
}

void VercheckWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (logic_->profile().layout->sunkenClientEdge) {
        QPainter painter(this);
        qDrawShadePanel(&painter, rect(), palette(), true, 2);
    }
    // A grab of the hidden window paints too; only the screen counts. The
    // queued click runs once this paint has reached the screen.
    if (!painted_ && isVisible()) {
        painted_ = true;
        if (upgradePending_) {
            deliverUpgradeClick();
        }
    }
}

} // namespace qlx
