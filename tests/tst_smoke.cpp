#include "simlink.h"

#include <QtTest>

class tst_Smoke : public QObject
{
    Q_OBJECT
private slots:
    void connectReadWrite();
};

void tst_Smoke::connectReadWrite()
{
    SimLink s(16, true);
    QVERIFY(s.open());
    QElapsedTimer t; t.start();
    QCOMPARE(s.link->ReadVersion(), qint16(0));
    qDebug() << "version" << t.elapsed() << s.view.version;
    QCOMPARE(s.view.version, QString("V2.10"));
    QCOMPARE(s.link->BlockLen, qint16(16));
    t.restart();
    QVERIFY(s.link->ReadParams());
    qDebug() << "read" << t.elapsed() << QList<int>(s.view.values.begin(), s.view.values.end());
    s.view.values = {1,2,3,4,5,6,7,1,9,10,255};
    t.restart();
    QCOMPARE(s.link->WriteParams(), qint16(0));
    qDebug() << "write" << t.elapsed() << s.sim.block().toHex();
    t.restart();
    QCOMPARE(s.link->TestShutter(), qint16(0));
    qDebug() << "shutter" << t.elapsed();
}

QTEST_MAIN(tst_Smoke)
#include "tst_smoke.moc"
