#include "ui/ResizableDlg.h"

#include "ui/DialogUnits.h"

#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QVariant>

namespace {
const char* const kIdProperty = "controlId";
} // namespace

CResizableDlg::CResizableDlg(int templateId, QWidget* parent)
    : QDialog(parent), m_nTemplateId(templateId) {}

CResizableDlg::~CResizableDlg() {
    OnDestroy();
}

void CResizableDlg::AnchorControl(int id, unsigned flags) {
    if ((flags & 0xFFFFu) == 0)
        return;
    m_anchors.push_back((static_cast<std::uint32_t>(flags) << 16) |
                        (static_cast<std::uint32_t>(id) & 0xFFFFu));
}

QString CResizableDlg::GetProfileSection() const {
    return QString::number(m_nTemplateId, 16);
}

void CResizableDlg::SetControlId(QWidget* control, int id) {
    control->setProperty(kIdProperty, id);
    control->setObjectName(QString::number(id));
}

int CResizableDlg::ControlId(const QWidget* control) {
    return control ? control->property(kIdProperty).toInt() : 0;
}

QWidget* CResizableDlg::control(int id) const {
    if (id == 0)
        return nullptr;
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children)
        if (child->property(kIdProperty).toInt() == id)
            return child;
    return nullptr;
}

std::unique_ptr<QSettings> CResizableDlg::OpenProfile() {
    // Beside the settings file: <config>/Tallowick!/profile.ini
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Tallowick!"), QStringLiteral("profile"));
}

void CResizableDlg::SetTemplateSize(int widthDu, int heightDu) {
    const QSize size = DialogUnits(this).size(widthDu, heightDu);
    resize(size);
    m_sizeMin = size;
    setMinimumSize(size);
    // The size at creation is only recorded; later changes move the anchored controls.
    m_sizeLast = size;
    setSizeGripEnabled(m_bShowGrip);
}

void CResizableDlg::OnInitDialog() {
    if (!m_bRestoreSize)
        return;
    const auto profile = OpenProfile();
    profile->beginGroup(GetProfileSection());
    const int cx = profile->value(QStringLiteral("CX"), 0).toInt();
    const int cy = profile->value(QStringLiteral("CY"), 0).toInt();
    profile->endGroup();
    // A stored size smaller than the template (an older layout, a damaged file) is ignored.
    if (cx >= m_sizeMin.width() && cy >= m_sizeMin.height() && cx > 0 && cy > 0)
        m_sizeStored = QSize(cx, cy);
}

void CResizableDlg::showEvent(QShowEvent* event) {
    if (!m_bInitialized && !event->spontaneous()) {
        m_bInitialized = true;
        OnInitDialog();
        // Applied after the derived class has registered its anchors, so they follow it.
        if (m_sizeStored.isValid()) {
            const QSize fitted = FitToScreen(m_sizeStored);
            if (fitted != size())
                resize(fitted);
        }
    }
    QDialog::showEvent(event);
}

QSize CResizableDlg::FitToScreen(const QSize& stored) const {
    // A size kept from a larger screen would put the window's edges (and its size grip) out of
    // reach; it is cut to the room the screen has, but never below the window's minimum.
    const QScreen* where = screen();
    if (!where)
        return stored;
    const QSize room = where->availableGeometry().size();
    return stored.boundedTo(room).expandedTo(m_sizeMin);
}

void CResizableDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (isMinimized())
        return;
    const QSize size = event->size();
    if (m_sizeLast.width() == 0) {
        m_sizeLast = size;
        return;
    }
    const int dx = size.width() - m_sizeLast.width();
    const int dy = size.height() - m_sizeLast.height();
    if (dx == 0 && dy == 0)
        return;
    m_bSized = true;
    for (const std::uint32_t entry : m_anchors) {
        const unsigned flags = entry >> 16;
        QWidget* child = control(static_cast<int>(entry & 0xFFFFu));
        if (!child || flags == 0)
            continue;
        QRect r = child->geometry();
        int left = r.left(), top = r.top();
        int right = left + r.width(), bottom = top + r.height();
        if (flags & ANCHOR_SIZE_X) {
            right += dx;
        } else if (flags & ANCHOR_MOVE_X) {
            left += dx;
            right += dx;
        }
        if (flags & ANCHOR_SIZE_Y) {
            bottom += dy;
        } else if (flags & ANCHOR_MOVE_Y) {
            top += dy;
            bottom += dy;
        }
        child->setGeometry(left, top, right - left, bottom - top);
    }
    m_sizeLast = size;
}

void CResizableDlg::done(int result) {
    OnDestroy();
    QDialog::done(result);
}

void CResizableDlg::OnDestroy() {
    if (m_bRestoreSize && m_bSized && m_sizeLast.width() != 0 && m_sizeLast.height() != 0) {
        const auto profile = OpenProfile();
        profile->beginGroup(GetProfileSection());
        profile->setValue(QStringLiteral("CX"), width());
        profile->setValue(QStringLiteral("CY"), height());
        profile->endGroup();
        profile->sync();
    }
    m_sizeLast = QSize(0, 0);
    m_bSized = false;
}
