#include "platform/widgets/QtMessageBoxes.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

class TestMessageBoxes : public QObject
{
    Q_OBJECT

private slots:
    void aNoticeWaitsForNobodyAndShowsTheNewestText_data()
    {
        QTest::addColumn<bool>("firstClosed");
        QTest::newRow("the first still open") << false;
        QTest::newRow("the first closed") << true;
    }

    void aNoticeWaitsForNobodyAndShowsTheNewestText()
    {
        QFETCH(bool, firstClosed);
        QWidget owner;
        owner.show();
        QtMessageBoxes boxes;
        boxes.notice(&owner, QStringLiteral("first"));
        if (firstClosed)
            owner.findChild<QMessageBox *>()->button(QMessageBox::Ok)->click();
        boxes.notice(&owner, QStringLiteral("second"));

        QList<QMessageBox *> open;
        for (QMessageBox *box : owner.findChildren<QMessageBox *>()) {
            if (box->isVisible())
                open << box;
        }
        QCOMPARE(open.size(), 1);
        QCOMPARE(open[0]->text(), QStringLiteral("second"));
        QCOMPARE(open[0]->windowModality(), Qt::NonModal);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(owner.findChildren<QMessageBox *>().size(), 1);
    }

    // A short text must not leave the title bar too narrow for the caption,
    // which the window manager would cut down to "T…".
    void aShortMessageLeavesRoomForTheCaption()
    {
        QWidget owner;
        owner.show();
        QtMessageBoxes boxes;
        boxes.notice(&owner, QStringLiteral("修改成功！"));
        QMessageBox *box = owner.findChild<QMessageBox *>();
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QVERIFY2(box->width() >= box->fontMetrics().horizontalAdvance(box->windowTitle()) + 120,
                 qPrintable(QString::number(box->width())));
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
