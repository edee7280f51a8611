// Conflicts: a note changed on two replicas since they last met. The later
// change wins everywhere, the loser is kept as the same conflict document
// everywhere, whichever replica replicates first.
#include "ledra/replication/revision.h"
#include "tests/ledra/replication/replication_fixture.h"

namespace {

using ledra::replication::Chain;
using ledra::replication::CompareChains;
using ledra::replication::Lineage;
using ledra::replication::Revision;

TEST(Revisions, ChainsTellNewerOlderAndConflicting) {
  Revision a{100, 1, 1}, b{200, 1, 2}, c{210, 2, 7}, d{205, 3, 4};
  struct {
    Chain incoming, local;
    Lineage expected;
  } cases[] = {
      {{a, b}, {a, b}, Lineage::kSame},
      {{a, b}, {a}, Lineage::kIncomingNewer},
      {{a}, {a, b}, Lineage::kLocalNewer},
      {{a, b, c}, {a, b, d}, Lineage::kConflict},
      {{c}, {d}, Lineage::kConflict},
      {{}, {a}, Lineage::kConflict},  // a damaged state keeps both versions
      // One database's later save stands for its earlier ones.
      {{Revision{300, 1, 9}}, {a, b}, Lineage::kIncomingNewer},
      {{a, b}, {Revision{300, 1, 9}}, Lineage::kLocalNewer},
      {{Revision{300, 1, 9}}, {a, c}, Lineage::kConflict},
  };
  for (const auto& t : cases) EXPECT_EQ(CompareChains(t.incoming, t.local), t.expected);
  EXPECT_TRUE(ledra::replication::Later(c, d));
  EXPECT_TRUE(
      ledra::replication::Later(Revision{5, 2, 0}, Revision{5, 1, 9}));  // same time: by origin

  Chain long_chain;
  for (int i = 0; i < 40; ++i) ledra::replication::ExtendChain(&long_chain, Revision{i, 9, i});
  ASSERT_EQ(long_chain.size(), ledra::replication::kMaxChain);
  std::string blob = ledra::replication::EncodeChain(long_chain);
  Chain back;
  ASSERT_TRUE(ledra::replication::DecodeChain(blob.data(), blob.size(), &back));
  EXPECT_EQ(back, long_chain);
  EXPECT_FALSE(ledra::replication::DecodeChain(blob.data(), blob.size() - 1, &back));
  EXPECT_FALSE(ledra::replication::DecodeChain("R\0", 2, &back));

  VXUnid unid;
  unid.words[0] = 7;
  EXPECT_EQ(ledra::replication::ConflictUnid(unid, a), ledra::replication::ConflictUnid(unid, a));
  EXPECT_FALSE(ledra::replication::ConflictUnid(unid, a) ==
               ledra::replication::ConflictUnid(unid, b));
}

class ConflictTest : public ReplicationTest {
 protected:
  // Hub!!sales.ldf with one note x, and its replicas a.ldf and b.ldf here.
  void SetUpReplicas() {
    Create("Hub", "sales.ldf");
    x_ = Add("Hub", "sales.ldf", "x");
    CloseAll();
    CopyReplica("Hub", "sales.ldf", "a.ldf");
    CopyReplica("Hub", "sales.ldf", "b.ldf");
  }
  std::string X() const { return ledra::UnidText(x_); }
  VXUnid x_;
};

TEST_F(ConflictTest, TheLaterEditWinsTheSameWayWhicheverReplicaReplicatesFirst) {
  struct Case {
    const char* first;
    const char* second;
    const char* first_stats;
    const char* second_stats;
  } cases[] = {
      // a made the earlier edit; a goes first: the server simply takes it.
      // Then b finds the conflict when it receives, keeps a's edit as a
      // response; the server finds it too when b sends, and makes the same
      // conflict document, so b's copy of it is nothing new there.
      {"a.ldf", "b.ldf", "received 0/0/0 sent 0/0/1 conflicts 0 purged 0",
       "received 0/0/0 sent 0/0/1 conflicts 2 purged 0"},
      // b goes first; then a finds its own edit older: a takes b's and
      // sends its own as the conflict document.
      {"b.ldf", "a.ldf", "received 0/0/0 sent 0/0/1 conflicts 0 purged 0",
       "received 0/0/1 sent 1/0/0 conflicts 1 purged 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    TearDown();
    SetUp();
    SetUpReplicas();
    Edit("Local", "a.ldf", x_, "edited at a");
    Tick();
    Edit("Local", "b.ldf", x_, "edited at b");
    CloseAll();
    EXPECT_EQ(Stats(Replicate(c.first)), c.first_stats);
    EXPECT_EQ(Stats(Replicate(c.second)), c.second_stats);
    Replicate(c.first);
    EXPECT_EQ(Stats(Replicate(c.second)), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
    auto hub = Contents("Hub", "sales.ldf");
    EXPECT_EQ(Contents("Local", "a.ldf"), hub);
    EXPECT_EQ(Contents("Local", "b.ldf"), hub);
    ASSERT_EQ(hub.size(), 2u);
    EXPECT_EQ(hub[X()], "edited at b");
    // One conflict document, the same UNID in all three databases.
    hub.erase(X());
    EXPECT_EQ(hub.begin()->second, "^conflict:edited at a");
  }
}

TEST_F(ConflictTest, AReplicaAndItsServerBothEditingSettleOnTheLaterEdit) {
  struct {
    bool replica_later;
    const char* stats;
    const char* winner;
    const char* loser;
  } cases[] = {
      {true, "received 0/0/0 sent 0/0/1 conflicts 2 purged 0", "at a", "at hub"},
      {false, "received 0/0/1 sent 1/0/0 conflicts 1 purged 0", "at hub", "at a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.winner);
    TearDown();
    SetUp();
    SetUpReplicas();
    if (c.replica_later) {
      Edit("Hub", "sales.ldf", x_, "at hub");
      Tick();
      Edit("Local", "a.ldf", x_, "at a");
    } else {
      Edit("Local", "a.ldf", x_, "at a");
      Tick();
      Edit("Hub", "sales.ldf", x_, "at hub");
    }
    CloseAll();
    EXPECT_EQ(Stats(Replicate("a.ldf")), c.stats);
    auto hub = Contents("Hub", "sales.ldf");
    EXPECT_EQ(Contents("Local", "a.ldf"), hub);
    EXPECT_EQ(hub[X()], c.winner);
    hub.erase(X());
    ASSERT_EQ(hub.size(), 1u);
    EXPECT_EQ(hub.begin()->second, std::string("^conflict:") + c.loser);
    EXPECT_EQ(Stats(Replicate("a.ldf")), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
  }
}

TEST_F(ConflictTest, AnEditAgainstADeletionFollowsTheLaterOfTheTwo) {
  struct {
    bool deletion_later;
    const char* stats;
    size_t hub_documents;
    const char* remaining;
  } cases[] = {
      // The deletion wins; the edit survives as a main conflict document.
      {true, "received 0/1/0 sent 1/0/0 conflicts 1 purged 0", 1, "conflict:edited"},
      // The edit wins: the note comes back where it was deleted.
      {false, "received 0/0/0 sent 1/0/0 conflicts 0 purged 0", 1, "edited"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remaining);
    TearDown();
    SetUp();
    SetUpReplicas();
    if (c.deletion_later) {
      Edit("Local", "a.ldf", x_, "edited");
      Tick();
      Remove("Hub", "sales.ldf", x_);
    } else {
      Remove("Hub", "sales.ldf", x_);
      Tick();
      Edit("Local", "a.ldf", x_, "edited");
    }
    CloseAll();
    EXPECT_EQ(Stats(Replicate("a.ldf")), c.stats);
    auto hub = Contents("Hub", "sales.ldf");
    EXPECT_EQ(Contents("Local", "a.ldf"), hub);
    ASSERT_EQ(hub.size(), c.hub_documents);
    EXPECT_EQ(hub.begin()->second, c.remaining);
    // b, which never changed x, ends the same way.
    Replicate("b.ldf");
    EXPECT_EQ(Contents("Local", "b.ldf"), hub);
  }
}

}  // namespace
