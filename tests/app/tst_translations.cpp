#include "app/Application.h"

#include <QAbstractButton>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTest>

// Runs under a Simplified Chinese system locale, set before start-up.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void standardButtonsSpeakTheSystemLanguage_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("OK") << int(QMessageBox::Ok) << QStringLiteral("确定");
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << QStringLiteral("取消");
    }
    void standardButtonsSpeakTheSystemLanguage()
    {
        QFETCH(int, button);
        QFETCH(QString, text);
        const QString catalog =
            QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm");
        if (!QFile::exists(catalog))
            QSKIP(qPrintable(catalog + QStringLiteral(" is missing (qt6-translations-l10n)")));
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("提示"),
                        QStringLiteral("确定停止运行吗？"), QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::StandardButton(button))->text(), text);
        // The program's own texts are not translated.
        QCOMPARE(box.text(), QStringLiteral("确定停止运行吗？"));
    }
};

int main(int argc, char **argv)
{
    qputenv("LC_ALL", "zh_CN.UTF-8");
    qunsetenv("LANGUAGE");
    Application app(argc, argv);
    TestTranslations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translations.moc"
