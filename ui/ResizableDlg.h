#pragma once
// Base of the resizable dialogs: anchored controls follow the right and bottom edges, a size
// grip sits in the bottom-right corner, the window cannot shrink below its size at creation,
// and its last size is kept in the application profile.
//
// Life of a derived dialog:
//   constructor: create the controls (SetControlId on each), place them with DialogUnits, then
//                call SetTemplateSize; that size is the minimum and the reference for anchors.
//   first show:  OnInitDialog runs once (derived classes call the base first, then register
//                their anchors); a stored size is applied right after it.
//   done()/destruction: the size is stored when the window was resized since creation.

#include <QDialog>
#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

class QSettings;

class CResizableDlg : public QDialog {
    Q_OBJECT
public:
    enum AnchorFlags : unsigned {
        ANCHOR_MOVE_X = 1,
        ANCHOR_MOVE_Y = 2,
        ANCHOR_SIZE_X = 4,
        ANCHOR_SIZE_Y = 8,
    };

    explicit CResizableDlg(int templateId, QWidget* parent = nullptr);
    ~CResizableDlg() override;

    // Registers an anchored control; entries are applied in registration order.
    void AnchorControl(int id, unsigned flags);

    // Profile section of this dialog: the template id in lower-case hex ("66" for 102).
    virtual QString GetProfileSection() const;

    // Controls are known by their integer ids, as in the dialog templates.
    static void SetControlId(QWidget* control, int id);
    static int ControlId(const QWidget* control);
    QWidget* control(int id) const;

    int templateId() const { return m_nTemplateId; }
    QSize minimumDialogSize() const { return m_sizeMin; }
    bool wasSized() const { return m_bSized; }
    bool isInitialized() const { return m_bInitialized; }

    // The application profile: window sizes, one section per dialog template.
    static std::unique_ptr<QSettings> OpenProfile();

    void done(int result) override;

protected:
    // Size of the template in dialog units of this dialog's font: sets the window's size,
    // its minimum, and the size the anchors start from.
    void SetTemplateSize(int widthDu, int heightDu);

    // Runs once, when the dialog is first shown. Derived classes call the base first.
    virtual void OnInitDialog();

    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    bool m_bRestoreSize = true;
    bool m_bShowGrip = true;

private:
    void OnDestroy();
    // A stored size that fits the available room of the window's screen.
    QSize FitToScreen(const QSize& stored) const;

    QSize m_sizeMin{0, 0};
    QSize m_sizeLast{0, 0};
    bool m_bSized = false;
    std::vector<std::uint32_t> m_anchors;
    int m_nTemplateId;
    bool m_bInitialized = false;
    QSize m_sizeStored;
};
