#include "platform/data/Exceptions.h"
#include "tests/data/Fixtures.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(Navigation, EveryMoveRunsAfterScrollEvenWhenNothingMoves)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    QStringList seen;
    ds->AfterScroll = [&](TDataSet* d) { seen << d->FieldByName("NRINCONSPED")->AsString(); };

    ds->Next(); // 002
    ds->Next(); // 003
    ds->Next(); // stays on 003, Eof
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 3);
    ds->Next();  // still 003
    ds->Prior(); // 002
    ds->First(); // 001
    EXPECT_TRUE(ds->Bof());
    ds->Prior(); // stays on 001
    ds->Last();  // 003
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->MoveBy(-2), -2); // 001
    EXPECT_EQ(ds->MoveBy(10), 2);  // 003, Eof
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(seen, QStringList({"002", "003", "003", "003", "002", "001", "001", "003", "001", "003"}));
}

TEST(Navigation, MovesOnAnEmptyDatasetStillScroll)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(0));
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet* d) {
        ++scrolls;
        EXPECT_EQ(d->FieldByName("ATIVA")->AsString(), "");
    };
    ds->First();
    ds->Next();
    ds->Last();
    EXPECT_EQ(scrolls, 3);
    EXPECT_TRUE(ds->Eof());
}

TEST(Navigation, WalkUntilEofVisitsEveryRowPlusOne)
{
    // The release walk: First, then Next until Eof; n rows give n + 1 scrolls.
    auto ds = makeIncList();
    ds->SetData(incPacket(4));
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    int visited = 0;
    ds->First();
    while (!ds->Eof()) {
        ++visited;
        ds->Next();
    }
    EXPECT_EQ(visited, 4);
    EXPECT_EQ(scrolls, 5);
}

TEST(Navigation, BookmarksSurviveAndGotoScrolls)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    ds->Next();
    const TBookmark b = ds->GetBookmark();
    ds->Last();
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    ds->GotoBookmark(b);
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "002");
    ds->GotoBookmark(b); // already there: still a scroll
    EXPECT_EQ(scrolls, 2);
    EXPECT_TRUE(ds->BookmarkValid(b));
    ds->SetData(incPacket(3)); // a reload makes old bookmarks invalid
    EXPECT_FALSE(ds->BookmarkValid(b));
    EXPECT_THROW(ds->GotoBookmark(b), EDatabaseError);
}

TEST(Navigation, AMoveWhileEditingPostsAChangeAndCancelsOtherwise)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    int posts = 0, cancels = 0;
    ds->AfterPost = [&](TDataSet*) { ++posts; };
    ds->AfterCancel = [&](TDataSet*) { ++cancels; };

    ds->Edit();
    ds->FieldByName("ATIVA")->setAsString("S");
    ds->Next();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->RecNo(), 2);
    ds->First();
    EXPECT_EQ(ds->FieldByName("ATIVA")->AsString(), "S");

    // A value set to what it already was is no change: the edit is cancelled.
    ds->Edit();
    ds->FieldByName("ATIVA")->setAsString("S");
    ds->Next();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(ds->ChangeCount(), 1);
}

TEST(Navigation, AFailingPostStopsTheMove)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    ds->AfterPost = [](TDataSet*) { throw EDatabaseError("recusado"); };
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    ds->Edit();
    ds->FieldByName("ATIVA")->setAsString("S");
    EXPECT_THROW(ds->Next(), EDatabaseError);
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(scrolls, 0);
}

TEST(Navigation, LocateMovesToTheFirstMatchOnly)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(5));
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    EXPECT_TRUE(ds->Locate("NRINCONSPED", QStringLiteral("004")));
    EXPECT_EQ(ds->RecNo(), 4);
    EXPECT_FALSE(ds->Locate("NRINCONSPED", QStringLiteral("999")));
    EXPECT_EQ(ds->RecNo(), 4);
    EXPECT_EQ(scrolls, 1);
}
