#include "frmop.h"
#include "pageview.h"
#include "testhost.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWindow>

// How a tool window lives beside the main window: above it, driven by Enter and Escape, and
// following the program that is loaded.
class TestWindowLife : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHost> host;

    std::unique_ptr<frmOp> addOneToX()
    {
        auto w = std::make_unique<frmOp>(*host);
        w->Form_Load();
        w->txtAxis->setText(QStringLiteral("X"));
        w->txtValue->setText(QStringLiteral("1"));
        return w;
    }

private slots:
    void init()
    {
        host = std::make_unique<TestHost>();
        host->open(numberedLines(5));
    }

    void staysAboveTheMainWindow()
    {
        auto w = addOneToX();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        host->editor().txtmain->setFocus(); // a click in the editor
        QVERIFY(w->windowFlags().testFlag(Qt::Tool));
        QCOMPARE(w->windowHandle()->transientParent(), host->mainWindow()->windowHandle());
        QVERIFY(w->isVisible());
    }

    void enterRunsGoAndEscapeCloses()
    {
        auto w = addOneToX();
        w->txtValue->setFocus();
        QTest::keyClick(w->txtValue, Qt::Key_Return);
        QCOMPARE(host->store().at(0), QByteArray("N1 X2."));
        QTest::keyClick(w->txtValue, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
    }

    void anotherProgramRefillsTheRange()
    {
        host->editor().setLine(3);
        auto w = addOneToX();
        QCOMPARE(w->StartLine->text(), QStringLiteral("3"));
        QCOMPARE(w->EndLine->text(), QStringLiteral("5"));
        host->open(numberedLines(2));
        QCOMPARE(w->StartLine->text(), QStringLiteral("1"));
        QCOMPARE(w->EndLine->text(), QStringLiteral("2"));
    }
};

VORNEXA_TEST_MAIN(TestWindowLife)
#include "tst_tools_windowlife.moc"
