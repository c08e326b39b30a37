#ifndef DETAILSDOCK_H
#define DETAILSDOCK_H

#include <QDockWidget>

namespace velqor {
struct DeviceDetails;
}
namespace Ui {
class DetailsDock;
}

// The chosen device in full, as text the keyboard and a screen reader reach:
// its serial in both forms, where it answers, its warnings, when it was last
// heard and its hardware address, which technicians match with the label on
// the device.
class DetailsDock : public QDockWidget {
    Q_OBJECT

public:
    explicit DetailsDock(QWidget *parent = nullptr);
    ~DetailsDock() override;

    // None: says that no device is chosen.
    void showDevice(const velqor::DeviceDetails *device);
    QString text() const;

private:
    Ui::DetailsDock *ui;
};

#endif // DETAILSDOCK_H
