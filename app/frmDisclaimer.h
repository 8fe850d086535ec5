#pragma once
// The firmware notice: warns against managing elements of older firmware with this
// station, until the user ticks that it need not be shown again.
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace app {

class FrmDisclaimer : public QDialog {
    Q_OBJECT
public:
    explicit FrmDisclaimer(QWidget* parent = nullptr);

    QCheckBox* chkAgree() const { return m_chkAgree; }
    QPushButton* cmdClose() const { return m_cmdClose; }

private:
    QCheckBox* m_chkAgree;
    QPushButton* m_cmdClose;
};

} // namespace app
