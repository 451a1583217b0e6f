#include "ui/HyperLink.h"

#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>

const QColor CHyperLink::kLinkColour(0, 0, 255);
const QColor CHyperLink::kActiveColour(0, 128, 128);
const QColor CHyperLink::kVisitedColour(128, 0, 128);
const QColor CHyperLink::kHoverColour(255, 0, 0);

namespace {

// Failure codes, numbered as the desktop shells of old numbered them.
constexpr int kOpened = 42;
constexpr int kNotFound = 2;
constexpr int kAccessDenied = 5;

std::function<bool(const QString&)> g_browserFallback;

bool isMailAddress(const QString& target) {
    return target.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive);
}

// Starts the user's browser (or mail program) on target without going through the desktop
// services: xdg-open, then the programs named in $BROWSER ("%s" stands for the target).
bool startBrowser(const QString& target) {
    if (g_browserFallback)
        return g_browserFallback(target);
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {target}))
        return true;
    if (isMailAddress(target))
        return false;
    const QString browsers = qEnvironmentVariable("BROWSER");
    for (const QString& entry : browsers.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        // The target goes in as one argument: it is never parsed as part of a command line.
        QStringList args = QProcess::splitCommand(entry);
        if (args.isEmpty())
            continue;
        bool placed = false;
        for (QString& arg : args) {
            if (arg.contains(QLatin1String("%s"))) {
                arg.replace(QLatin1String("%s"), target);
                placed = true;
            }
        }
        if (!placed)
            args.append(target);
        const QString program = args.takeFirst();
        if (QProcess::startDetached(program, args))
            return true;
    }
#endif
    return false;
}

} // namespace

CHyperLink::CHyperLink(QWidget* parent) : CHyperLink(QString(), parent) {}

CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
    // A static text: plain, top-left, no focus from the tab key.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFocusPolicy(Qt::NoFocus);
}

void CHyperLink::Attach() {
    if (m_bAttached)
        return;
    if (m_strTarget.isEmpty())
        m_strTarget = text();
    if (text().isEmpty())
        setText(m_strTarget);
    m_fontLink = font();
    m_fontLink.setUnderline((m_dwLinkStyle & LinkUnderline) != 0);
    setFont(m_fontLink);
    FitToText();
    if (!(m_dwLinkStyle & LinkPlainCursor))
        setCursor(Qt::PointingHandCursor);
    setToolTip(m_strTarget);
    setMouseTracking(true);
    m_bAttached = true;
    refreshColour();
}

void CHyperLink::SetLinkTarget(const QString& target) {
    m_strTarget = target;
    if (!m_bAttached)
        return;
    FitToText();
    setToolTip(m_strTarget);
}

void CHyperLink::FitToText() {
    if (!(m_dwLinkStyle & LinkFitText))
        return;
    const QRect w = geometry();
    const QRect r = contentsRect();
    const int dx = w.width() - r.width();
    const int dy = w.height() - r.height();
    const QFontMetrics fm(m_fontLink);
    const int tw = fm.horizontalAdvance(text());
    const int th = fm.height();
    // Edges as left/top inclusive, right/bottom exclusive.
    int left = w.x(), top = w.y();
    int right = left + w.width(), bottom = top + w.height();
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignVCenter) {
        const int d = (w.height() - th) / 2;
        top += d;
        bottom -= d;
    } else {
        bottom = top + th;
    }
    if (align & Qt::AlignHCenter) {
        const int d = (w.width() - tw) / 2;
        left += d;
        right -= d;
    } else if (align & Qt::AlignRight) {
        left = right - tw;
    } else {
        right = left + tw;
    }
    setGeometry(left, top, right - left + dx, bottom - top + dy);
}

QColor CHyperLink::linkColour() const {
    if (m_bPointerOver && (m_dwLinkStyle & LinkHoverColour))
        return kHoverColour;
    if (!(m_dwLinkStyle & LinkNoActiveColour) && m_bActive)
        return kActiveColour;
    if (m_bFollowed)
        return kVisitedColour;
    return kLinkColour;
}

void CHyperLink::refreshColour() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, linkColour());
    setPalette(pal);
    update();
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
    // The grab lets the link see the pointer leave, so the hover state always ends.
    if (m_bPointerOver && !rect().contains(event->position().toPoint())) {
        m_bPointerOver = false;
        if (mouseGrabber() == this)
            releaseMouse();
        refreshColour();
    } else if (!m_bPointerOver) {
        m_bPointerOver = true;
        refreshColour();
        grabMouse();
    }
    QLabel::mouseMoveEvent(event);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    if (m_dwLinkStyle & LinkFocusOnClick)
        setFocus(Qt::MouseFocusReason);
    if (m_dwLinkStyle & LinkFollowOnPress)
        Activate();
    m_bActive = true;
    refreshColour();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    // Releasing the button away from the link cancels the click, as with any button.
    if (event->button() == Qt::LeftButton && m_bActive && !(m_dwLinkStyle & LinkFollowOnPress) &&
        rect().contains(event->position().toPoint())) {
        Activate();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        // A held space bar opens the target once, not once per repeat.
        if (!event->isAutoRepeat())
            Activate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CHyperLink::focusInEvent(QFocusEvent* event) {
    QLabel::focusInEvent(event);
    m_bActive = true;
    refreshColour();
}

void CHyperLink::focusOutEvent(QFocusEvent* event) {
    QLabel::focusOutEvent(event);
    m_bPointerOver = false;
    m_bActive = false;
    if (mouseGrabber() == this)
        releaseMouse();
    refreshColour();
}

bool CHyperLink::Activate() {
    const int code = OpenTarget(m_strTarget);
    if (code <= 32) {
        QApplication::beep();
        tw::messageBox(this, QStringLiteral("Can't open link:\n\n") + linkErrorText(code),
                       QMessageBox::Ok, QMessageBox::Warning, tw::kCaption);
        return false;
    }
    m_bFollowed = true;
    refreshColour();
    return true;
}

int CHyperLink::OpenTarget(const QString& target) {
    // Only web and mail addresses are handed on; anything else (files, programs, other
    // schemes) is refused as access denied.
    if (!tw::isWebAddress(target) && !isMailAddress(target))
        return kAccessDenied;
    if (tw::shellOpen(target))
        return kOpened;
    if (startBrowser(target))
        return kOpened;
    // Nothing could take it: reported as "not found", the closest of the classic codes.
    return kNotFound;
}

QString CHyperLink::linkErrorText(int code) {
    switch (code) {
    case 0:
        return QStringLiteral("The operating system is out\nof memory or resources.");
    case 2:
        return QStringLiteral("The specified file was not found.");
    case 3:
        return QStringLiteral("The specified path was not found.");
    case 5:
        return QStringLiteral("The operating system denied\naccess to the specified file.");
    case 8:
        return QStringLiteral("There was not enough memory to complete the operation.");
    case 11:
        return QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26:
        return QStringLiteral("A sharing violation occurred. ");
    case 27:
        return QStringLiteral("The filename association is\nincomplete or invalid.");
    case 28:
        return QStringLiteral(
            "The DDE transaction could not\nbe completed because the request timed out.");
    case 29:
        return QStringLiteral("The DDE transaction failed.");
    case 30:
        return QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                              "transactions\nwere being processed.");
    case 31:
        return QStringLiteral("There is no application associated\nwith the given filename "
                              "extension.");
    case 32:
        return QStringLiteral("The specified dynamic-link library was not found.");
    default:
        return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
    }
}

namespace tw::testing {
void setBrowserFallback(std::function<bool(const QString&)> handler) {
    g_browserFallback = std::move(handler);
}
} // namespace tw::testing
