#pragma once
// A static text that works as a link: coloured and underlined, hand cursor, the target as
// tooltip, fitted to its text, and opening its target in the user's browser or mail program
// when clicked or when the space bar is pressed on it.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

#include <functional>

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    enum LinkStyle : quint32 {
        LinkUnderline = 0x01,
        LinkHoverColour = 0x02,
        LinkFitText = 0x04,
        LinkFollowOnPress = 0x08,
        LinkFocusOnClick = 0x10,
        LinkPlainCursor = 0x20,
        LinkNoActiveColour = 0x40,
    };

    static const QColor kLinkColour;    // never visited
    static const QColor kActiveColour;  // focused or pressed
    static const QColor kVisitedColour; // opened at least once
    static const QColor kHoverColour;   // pointer over it (with LinkHoverColour)

    explicit CHyperLink(QWidget* parent = nullptr);
    // A link showing text (the static's template text).
    explicit CHyperLink(const QString& text, QWidget* parent = nullptr);

    // Makes the label a link. Call once the dialog has given the label its text, font,
    // alignment and place: a link without a target takes its text as the target, and the
    // label is fitted to its text.
    void Attach();
    bool isAttached() const { return m_bAttached; }

    // Sets the target; once attached, also refits the label and replaces the tooltip.
    void SetLinkTarget(const QString& target);
    QString linkTarget() const { return m_strTarget; }

    quint32 linkStyle() const { return m_dwLinkStyle; }
    // For links that need another behaviour; call before Attach.
    void setLinkStyle(quint32 style) { m_dwLinkStyle = style; }

    bool isActive() const { return m_bActive; }
    bool isPointerOver() const { return m_bPointerOver; }
    bool isFollowed() const { return m_bFollowed; }
    // The colour the text is drawn in now.
    QColor linkColour() const;

    // Opens the target as a click would; true when it was opened.
    bool Activate();

    // Opens target: the desktop first, then the user's browser directly. Returns a code above 32
    // on success, otherwise the failure code that linkErrorText explains.
    static int OpenTarget(const QString& target);
    // The explanation shown after "Can't open link:" for a failure code.
    static QString linkErrorText(int code);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void FitToText();
    void refreshColour();

    bool m_bActive = false;
    bool m_bPointerOver = false;
    bool m_bFollowed = false;
    quint32 m_dwLinkStyle = LinkUnderline | LinkFitText | LinkFocusOnClick;
    QString m_strTarget;
    QFont m_fontLink;
    bool m_bAttached = false;
};

namespace tw::testing {
// Replaces the direct browser start that follows a failed desktop open; the handler answers
// whether it started something. An empty handler restores the real one.
void setBrowserFallback(std::function<bool(const QString&)> handler);
} // namespace tw::testing
