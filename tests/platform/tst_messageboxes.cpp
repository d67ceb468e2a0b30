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
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
