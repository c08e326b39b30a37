#ifndef DEVICECHOOSERMODEL_H
#define DEVICECHOOSERMODEL_H

#include <QIdentityProxyModel>

class OrvaneModel;

// The device model as the launcher's chooser lists it: by serial, and a
// serial that answers on several links with its link, so that no two
// entries read alike.
class DeviceChooserModel : public QIdentityProxyModel {
    Q_OBJECT

public:
    explicit DeviceChooserModel(OrvaneModel *devices, QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    OrvaneModel *devices;
};

#endif // DEVICECHOOSERMODEL_H
