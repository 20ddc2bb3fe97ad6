#include "flightparams.h"
#include "replytext.h"

#include <QtTest>

class tst_FlightParams : public QObject
{
    Q_OBJECT
private slots:
    void table_data();
    void table();
    void generations();
    void valueFromByte_data();
    void valueFromByte();
    void decodeBlock_data();
    void decodeBlock();

    void replyMarkers_data();
    void replyMarkers();
    void replyKeepsAtMostCapacity();
    void replyTextIsLatin1();
    void versionFromReply_data();
    void versionFromReply();
};

void tst_FlightParams::table_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("maximum");

    const struct
    {
        const char *name;
        const char *unit;
        int maximum;
    } rows[] = {
        {"Launch Detect", "(1/100 Sec)", 255}, {"Launch Delay", "(1/10 Sec)", 255},
        {"Number of Groups", "(Count)", 255},  {"Number of Pictures", "(Count)", 255},
        {"Picture Interval", "(1/10 Sec)", 255}, {"Group Interval", "(Seconds)", 255},
        {"Shutter Speed", "(1/10 Sec)", 255},  {"Autorun Mode", "(0 or 1)", 1},
        {"Powerup Time", "(1/10 Sec)", 255},   {"Cycle Count", "(Count)", 255},
        {"Cycle Pacing", "(1/10 Sec)", 255},
    };
    for (int i = 0; i < 11; ++i)
        QTest::addRow("%d", i) << i << rows[i].name << rows[i].unit << rows[i].maximum;
}

void tst_FlightParams::table()
{
    QFETCH(int, row);
    QFETCH(QString, name);
    QFETCH(QString, unit);
    QFETCH(int, maximum);

    QCOMPARE(FlightParams::table().size(), size_t(11));
    const FlightParam &param = FlightParams::row(row);
    QCOMPARE(param.row, row);
    QCOMPARE(QString::fromLatin1(param.name), name);
    QCOMPARE(QString::fromLatin1(param.unit), unit);
    QCOMPARE(param.minimum, 0);
    QCOMPARE(param.maximum, maximum);
    QCOMPARE(param.step, 1);
}

void tst_FlightParams::generations()
{
    QCOMPARE(FlightParams::EightByte.LastParam, qint16(7));
    QCOMPARE(FlightParams::EightByte.BlockLen, qint16(8));
    QCOMPARE(FlightParams::SixteenByte.LastParam, qint16(10));
    QCOMPARE(FlightParams::SixteenByte.BlockLen, qint16(16));
    QCOMPARE(FlightParams::row(FlightParams::ShutterSpeedRow).name, "Shutter Speed");
    QCOMPARE(FlightParams::row(FlightParams::AutorunRow).name, "Autorun Mode");
}

void tst_FlightParams::valueFromByte_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("value");

    for (const int byte : {0, 1, 2, 127, 128, 200, 255}) {
        QTest::addRow("row 7, %d", byte) << 7 << byte << (byte == 0 ? 0 : 1);
        for (const int row : {0, 6, 8, 10})
            QTest::addRow("row %d, %d", row, byte) << row << byte << byte;
    }
}

void tst_FlightParams::valueFromByte()
{
    QFETCH(int, row);
    QFETCH(int, byte);
    QFETCH(int, value);
    QCOMPARE(FlightParams::valueFromByte(row, quint8(byte)), value);
}

void tst_FlightParams::decodeBlock_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("lastParam");
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<QList<int>>("values");

    const QByteArray sixteen = QByteArray::fromHex("00ff7f80010203c809fe0a1112131415");
    QTest::newRow("16 bytes, rows 0-10") << sixteen << 10 << true
                                         << QList<int>{0, 255, 127, 128, 1, 2, 3, 1, 9, 254, 10};
    QTest::newRow("16 bytes, rows 0-7") << sixteen << 7 << true
                                        << QList<int>{0, 255, 127, 128, 1, 2, 3, 1};
    QTest::newRow("11 bytes, rows 0-10") << sixteen.left(11) << 10 << true
                                         << QList<int>{0, 255, 127, 128, 1, 2, 3, 1, 9, 254, 10};
    QTest::newRow("10 bytes, rows 0-10") << sixteen.left(10) << 10 << false << QList<int>{};
    QTest::newRow("7 bytes, rows 0-7") << sixteen.left(7) << 7 << false << QList<int>{};
    QTest::newRow("empty") << QByteArray() << 7 << false << QList<int>{};
    QTest::newRow("rows beyond the table") << sixteen << 11 << false << QList<int>{};
    QTest::newRow("before the probe") << sixteen << -1 << false << QList<int>{};
}

void tst_FlightParams::decodeBlock()
{
    QFETCH(QByteArray, block);
    QFETCH(int, lastParam);
    QFETCH(bool, decoded);
    QFETCH(QList<int>, values);

    const auto result = FlightParams::decodeBlock(block, lastParam);
    QCOMPARE(result.has_value(), decoded);
    if (decoded)
        QCOMPARE(*result, values);
}

void tst_FlightParams::replyMarkers_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("er");

    QTest::newRow("OK") << QByteArrayList{"V2.10\r\nOK"} << true << false;
    QTest::newRow("O, K") << QByteArrayList{"O", "K"} << true << false;
    QTest::newRow("O, nothing, K") << QByteArrayList{"xO", "", "K"} << true << false;
    QTest::newRow("E, R") << QByteArrayList{"E", "R"} << false << true;
    QTest::newRow("ER then OK") << QByteArrayList{"ER", "\r\nOK"} << true << true;
    QTest::newRow("O, xK") << QByteArrayList{"O", "xK"} << false << false;
    QTest::newRow("lower case") << QByteArrayList{"ok er", "o", "k"} << false << false;
    QTest::newRow("OE R") << QByteArrayList{"OE", "R"} << false << true;
    QTest::newRow("K first") << QByteArrayList{"KO", "RE"} << false << false;
}

void tst_FlightParams::replyMarkers()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(bool, ok);
    QFETCH(bool, er);

    ReplyText reply;
    reply.append("stale O"); // a fresh exchange forgets the last character
    reply.clear();
    QVERIFY(!reply.hasMarker());
    for (const QByteArray &read : reads)
        reply.append(read);
    QCOMPARE(reply.hasOk(), ok);
    QCOMPARE(reply.hasEr(), er);
    QCOMPARE(reply.hasMarker(), ok || er);
    QCOMPARE(reply.text(), QString::fromLatin1(reads.join()));
}

void tst_FlightParams::replyKeepsAtMostCapacity()
{
    ReplyText reply;
    const QByteArray chatter = QByteArray("no marker here ").repeated(5000); // 75000 bytes
    reply.append(chatter.left(1000));
    reply.append(chatter.mid(1000));
    reply.append("O");
    reply.append("K");
    QVERIFY(reply.hasOk());
    QCOMPARE(reply.receivedCount(), qint64(chatter.size() + 2));
    QCOMPARE(reply.text(), QString::fromLatin1(chatter.left(ReplyText::Capacity)));
}

void tst_FlightParams::replyTextIsLatin1()
{
    ReplyText reply;
    reply.append(QByteArray("\x00\x7f\x80\xe9\xff", 5));
    const QString text = reply.text();
    QCOMPARE(text.size(), 5);
    QCOMPARE(text, QString::fromUtf16(u"\u0000\u007f\u0080\u00e9\u00ff", 5));
}

void tst_FlightParams::versionFromReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("version");

    QTest::newRow("V2.10") << "V2.10\r\nOK" << "V2.10";
    QTest::newRow("junk before the V") << "#v9 junk\r\nV2.10\r\nOK" << "V2.10";
    QTest::newRow("second OK") << "V2.10\r\nOK\r\nOK" << "V2.10";
    QTest::newRow("ER inside") << "V2.10\r\nER\r\nOK" << "V2.10\r\nER";
    QTest::newRow("nothing between") << "V1OK" << "";
    // No "V" before the "OK", or too little between them: the text in front
    // of the "OK" without its line breaks.
    QTest::newRow("VOK") << "VOK" << "V";
    QTest::newRow("no V") << "2.10\r\nOK" << "2.10";
    QTest::newRow("lower-case v") << "v2.10\r\nOK" << "v2.10";
    QTest::newRow("OK alone") << "OK" << "";
    QTest::newRow("line breaks around") << "\r\nX1\r\nOK" << "X1";
    QTest::newRow("line breaks only") << "\n\r\n\rOK" << "";
    QTest::newRow("V after OK") << "\r\nOK V2.10" << "";
}

void tst_FlightParams::versionFromReply()
{
    QFETCH(QString, reply);
    QFETCH(QString, version);
    QCOMPARE(::versionFromReply(reply), version);
}

QTEST_GUILESS_MAIN(tst_FlightParams)
#include "tst_flightparams.moc"
