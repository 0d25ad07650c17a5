#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The window of a running gateway search: what is being tried, a bar of the pairs tried
// against those still to try, the gateways found so far, and two buttons. Connect now is
// usable once a gateway was found and ends the search with what was found; Cancel (also Esc
// and the window's close button) ends it with nothing. It only shows and tells: the search
// itself lives elsewhere.
class FindGatewayDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FindGatewayDialog(QWidget *parent = nullptr);

    // Every text in the program's current language, the search on port.
    void begin(const QString &port);
    void setProgress(const QString &text, int done, int total);
    // Lists one more gateway found; Connect now becomes usable.
    void addFound(const QString &text);

    QLabel *statusLabel() const { return m_status; }
    QLabel *foundLabel() const { return m_found; }
    QProgressBar *bar() const { return m_bar; }
    QPushButton *connectButton() const { return m_connect; }
    QPushButton *cancelButton() const { return m_cancel; }

signals:
    void connectNow();
    void cancelled();

protected:
    void reject() override;

private:
    QLabel *m_status;
    QProgressBar *m_bar;
    QLabel *m_found;
    QPushButton *m_connect;
    QPushButton *m_cancel;
    QStringList m_finds;
};
