// The busy indicator: painted at once, never takes the focus, hides safely.
#include "framework/showavi.h"

#include "forms/screen.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

class ShowAviTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeactiveShowAvi();
        ResetShowAviCounts();
    }
    void TearDown() override { DeactiveShowAvi(); }
};

struct KindCase
{
    int kind;
    const char16_t *caption;
};

class ShowAviKindTest : public ShowAviTest, public ::testing::WithParamInterface<KindCase>
{
};

TEST_P(ShowAviKindTest, ShowsTheCaptionOfItsKindWithTheHourglass)
{
    QMainWindow main;
    main.resize(640, 480);
    main.show();
    ActiveShowAvi(&main, GetParam().kind);
    ASSERT_TRUE(ShowAviVisible());
    EXPECT_EQ(ShowAviKind(), GetParam().kind);
    EXPECT_EQ(ShowAviCount(GetParam().kind), 1);
    const auto labels = ShowAviWindow()->findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.first()->text(), QString::fromUtf16(GetParam().caption));
    EXPECT_EQ(Screen()->Cursor(), crHourGlass);
    // Over the main form.
    EXPECT_TRUE(QRect(main.mapToGlobal(QPoint()), main.size())
                    .contains(ShowAviWindow()->geometry().center()));

    DeactiveShowAvi();
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(ShowAviKind(), -1);
    EXPECT_EQ(Screen()->Cursor(), crDefault);
}

INSTANTIATE_TEST_SUITE_P(Showavi, ShowAviKindTest,
                         ::testing::Values(KindCase{0, u"Carregando..."},
                                           KindCase{1, u"Gravando..."},
                                           KindCase{6, u"Verificando..."},
                                           KindCase{3, u"Aguarde..."}));

// Shown in a large font, each caption is still read whole: the window grows to hold it
// rather than cut it at its drawn size.
TEST_F(ShowAviTest, EveryCaptionFitsInLargerFonts)
{
    QMainWindow main;
    main.resize(640, 480);
    main.show();
    const QFont original = QApplication::font();
    for (const int pixels : {0, 20, 28}) {
        QFont font = original;
        if (pixels > 0)
            font.setPixelSize(pixels);
        QApplication::setFont(font);
        for (const int kind : {0, 1, 6, 3}) {
            SCOPED_TRACE(testing::Message() << pixels << " px, kind " << kind);
            ActiveShowAvi(&main, kind);
            ASSERT_TRUE(ShowAviVisible());
            const QLabel *caption = ShowAviWindow()->findChildren<QLabel *>().value(0);
            ASSERT_NE(caption, nullptr);
            // In the application's font, as the screens around it.
            EXPECT_EQ(QFontInfo(caption->font()).pixelSize(),
                      QFontInfo(QApplication::font()).pixelSize());
            const QFontMetrics metrics(caption->font());
            const QRect room = caption->contentsRect();
            EXPECT_LE(metrics.horizontalAdvance(caption->text()), room.width())
                << caption->text().toStdString();
            EXPECT_LE(metrics.height(), room.height());
            EXPECT_TRUE(ShowAviWindow()->rect().contains(caption->geometry()));
            DeactiveShowAvi();
        }
    }
    QApplication::setFont(original);
}

TEST_F(ShowAviTest, HidingWhileHiddenIsHarmless)
{
    DeactiveShowAvi();
    DeactiveShowAvi();
    EXPECT_FALSE(ShowAviVisible());
    ActiveShowAvi(nullptr, 1);
    DeactiveShowAvi();
    DeactiveShowAvi(); // the failed-merge path hides twice
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    ActiveShowAvi(nullptr, 1);
    EXPECT_TRUE(ShowAviVisible());
    EXPECT_EQ(ShowAviCount(1), 2);
    EXPECT_EQ(ShowAviCount(0), 0);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(ShowAviTest, IsPaintedBeforeTheCallReturns)
{
    ActiveShowAvi(nullptr, 0); // makes the window
    DeactiveShowAvi();
    QCoreApplication::processEvents();
    QWidget *window = ShowAviWindow();
    ASSERT_NE(window, nullptr);
    PaintCounter counter;
    window->installEventFilter(&counter);
    // No event loop runs between this call and the blocking call that follows it, so
    // the window must be painted inside the call itself.
    ActiveShowAvi(nullptr, 1);
    EXPECT_GT(counter.paints, 0);
    window->removeEventFilter(&counter);
}

TEST_F(ShowAviTest, DoesNotTakeTheFocus)
{
    QMainWindow main;
    auto *edit = new QLineEdit(&main);
    main.setCentralWidget(edit);
    main.show();
    QApplication::setActiveWindow(&main);
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    ASSERT_TRUE(edit->hasFocus());
    ActiveShowAvi(&main, 1);
    QCoreApplication::processEvents();
    // An edit losing the focus would run its exit handler in the middle of a save.
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(QApplication::activeWindow(), &main);
}

} // namespace
