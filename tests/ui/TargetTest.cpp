// The window's model aimed with a target at a simulator on loopback: no
// privileges and no broadcast needed, so it runs everywhere.

#include "DeviceSimulator.h"
#include "OrvaneModel.h"

#include <QTest>

class TargetTest final : public QObject {
    Q_OBJECT

private slots:
    void findsAndMovesTheDevicesBehindItsTarget()
    {
        velqor::sim::SimulatorOptions options;
        options.listenAddress = "127.0.0.1";
        options.port = 0;
        velqor::sim::DeviceSimulator simulator({{"LOOP-1", "127.0.0.2"}, {"LOOP-2", "127.0.0.3"}}, options);
        OrvaneModel model(nullptr, {"127.0.0.1", simulator.Port()});
        QCOMPARE(model.refresh(), 2);
        QCOMPARE(model.addressOf("LOOP-2"), QStringLiteral("127.0.0.3"));
        QVERIFY(model.changeAddress(velqor::Serial("LOOP-1"), {10, 0, 0, 9}).kind ==
                velqor::ChangeOutcome::Kind::Acknowledged);
        QCOMPARE(simulator.AddressOf("LOOP-1"), std::string("10.0.0.9"));
    }
};

QTEST_MAIN(TargetTest)
#include "TargetTest.moc"
