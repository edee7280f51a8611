// The running engine on a loopback socket: intake, routing to the workers,
// the replies of this build, byte for byte.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "common/reply_forms.h"
#include "engine/database_request.h"
#include "engine/reply_file.h"
#include "engine/request_assembler.h"
#include "os/socket.h"
#include "platform/database_operation.h"
#include "running_engine.h"

namespace {

// A command handler that answers with the raw request it was given, so a
// test sees exactly what the intake took.
void EchoRequest(engine::ThreadHandle& handle, engine::RequestEntry& entry) {
  engine::AnswerWithText(*handle.shared, entry, "ECHO " + entry.rawRequest);
}

using Intake = RunningEngine;

TEST_F(Intake, GetIsTakenAtTheEndOfItsHeadersWhileTheClientWaits) {
  engine::Hooks().commandHandler = EchoRequest;
  Start();
  std::string request = "GET http://Corvane.Command/D/ HTTP/1.0\r\nHost: x\r\n\r\n";
  // The client never closes its side: the reply proves the intake did not
  // wait for more.
  EXPECT_EQ(Exchange({request}), "ECHO GET http://[wc]/D/ HTTP/1.0\r\nHost: x\r\n\r\n");
}

TEST_F(Intake, PostInPiecesIsTakenOnlyWhenTheBodyIsComplete) {
  engine::Hooks().commandHandler = EchoRequest;
  Start();
  std::string body("a=1&b=\0binary\0&c=3", 18);
  std::vector<std::string> pieces = {
      "POST http://[wc]/F/ HTTP/1.0\r\ncontent-length: 18\r",
      "\n\r\n",
      body.substr(0, 7),
      body.substr(7, 10),
      body.substr(17),
  };
  std::string expected = "ECHO POST http://[wc]/F/ HTTP/1.0\r\ncontent-length: 18\r\n\r\n" + body;
  EXPECT_EQ(Exchange(pieces, 30), expected);
}

TEST_F(Intake, CommandIsAnsweredNoContentUntilItsHandlerExists) {
  Start();
  EXPECT_EQ(Exchange({"GET http://[wc]/D/ HTTP/1.0\r\n\r\n"}), "HTTP/1.1 204 No Content\n\n\n");
}

TEST_F(Intake, DatabaseRequestGetsTheErrorPageOnLineAndTheRedirectOffLine) {
  Start();
  EXPECT_EQ(Exchange({"GET http://[kv]/Local:/kvconfig.ldf:/V/ HTTP/1.0\r\n\r\n"}),
            "<html><DT><H2>Ledra Error:</H2><DT><DT>Could not perform requested action.<DT>");
  shared_->offline = 1;
  EXPECT_EQ(Exchange({"GET http://Corvane.AsLedraClient/Local:/x.ldf:/V/ HTTP/1.0\r\n\r\n"}),
            "HTTP/1.0 302 Temporarily Moved\r\nLocation: file://" + folder_ +
                "/htmdata/offline.htm\r\n\r\n");
}

TEST_F(Intake, BadUrlsGetTheBadFormatPages) {
  Start();
  EXPECT_EQ(Exchange({"GET http://[kv]\r\n\r\n"}), "<html>\n\nSorry, bad Corvane URL format.\n");
  EXPECT_EQ(Exchange({"GET http://Corvane.LookupReplica.host.example/page HTTP/1.0\r\n\r\n"}),
            "\n\nSorry, bad Corvane URL format.\n");
}

TEST_F(Intake, PassThroughAndEmptyRequestsCloseWithoutAReply) {
  Start();
  EXPECT_EQ(Exchange({"GET http://www.example.com/ HTTP/1.0\r\n\r\n"}), "");
  os::Socket s = os::ConnectLoopback(port_);
  ASSERT_NE(s, os::kNoSocket);
  ::shutdown(s, SHUT_WR);  // connects, sends nothing
  EXPECT_EQ(ReadToEnd(s), "");
  os::Close(s);
}

TEST_F(Intake, ASilentClientIsGivenUpAndTheNextOneServed) {
  shared_->receiveTimeoutMs = 200;
  Start();
  os::Socket silent = os::ConnectLoopback(port_);
  ASSERT_NE(silent, os::kNoSocket);
  ASSERT_TRUE(os::SendAll(silent, "GET http://[wc]/D/ HTT"));  // stops half-way
  EXPECT_EQ(Exchange({"GET http://[wc]/D/ HTTP/1.0\r\n\r\n"}), "HTTP/1.1 204 No Content\n\n\n");
  EXPECT_EQ(ReadToEnd(silent), "HTTP/1.1 204 No Content\n\n\n");
  os::Close(silent);
}

TEST_F(Intake, TooLargeRequestsGet413AndNothingIsQueued) {
  shared_->requestSizeCap = 10000;
  Start();
  std::string big = "POST http://[wc]/F/ HTTP/1.0\r\nContent-length: 20000\r\n\r\n";
  std::string reply = Exchange({big, std::string(20000, 'x')});
  EXPECT_EQ(reply, common::kReplyTooLarge);
  std::string headers_only = "GET http://[wc]/D/ HTTP/1.0\r\nX: " + std::string(12000, 'y');
  EXPECT_EQ(Exchange({headers_only}), common::kReplyTooLarge);
  os::LockGuard guard(shared_->queueLock);
  EXPECT_EQ(shared_->requestQueue, nullptr);
}

// Regression: requests were read one after another, each read waiting for
// its client's bytes, so one silent client held every other one up.
TEST_F(Intake, ASilentOrTricklingClientHoldsNobodyElseUp) {
  shared_->receiveTimeoutMs = 120000;  // longer than the reads below wait
  Start();
  os::Socket silent = os::ConnectLoopback(port_);
  os::Socket trickling = os::ConnectLoopback(port_);
  ASSERT_NE(silent, os::kNoSocket);
  ASSERT_NE(trickling, os::kNoSocket);
  ASSERT_TRUE(os::SendAll(trickling, "GET http://[wc]/D/ HTTP/1.0\r\nX-Slow: "));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(os::SendAll(trickling, "a"));
    EXPECT_EQ(Exchange({"GET http://[wc]/D/ HTTP/1.0\r\n\r\n"}), "HTTP/1.1 204 No Content\n\n\n");
  }
  os::Close(silent);
  os::Close(trickling);
}

// A client that sends a header byte now and then is cut at the header
// deadline although it never falls silent; what it sent is its request.
TEST_F(Intake, HeadersThatNeverEndAreCutAtTheDeadline) {
  shared_->receiveTimeoutMs = 120000;
  shared_->headerDeadlineMs = 300;
  engine::Hooks().commandHandler = EchoRequest;
  Start();
  os::Socket s = os::ConnectLoopback(port_);
  ASSERT_NE(s, os::kNoSocket);
  std::string sent = "GET http://[wc]/D/ HTTP/1.0\r\nX-Slow: ";
  ASSERT_TRUE(os::SendAll(s, sent));
  std::atomic<bool> replied{false};
  std::thread trickle([&] {
    // Stops at the reply, or after 20 s, long past the deadline.
    for (int i = 0; i < 400 && !replied; ++i) {
      os::SleepMs(50);
      if (!os::SendAll(s, "a")) break;
    }
  });
  std::string reply = ReadToEnd(s);
  replied = true;
  trickle.join();
  os::Close(s);
  ASSERT_EQ(reply.rfind("ECHO " + sent, 0), 0u) << reply;
  EXPECT_LT(reply.size(), 5 + sent.size() + 200);
}

TEST_F(Intake, PastTheCapTheConnectionReadLongestMakesRoom) {
  shared_->receiveTimeoutMs = 120000;
  shared_->connectionsReadCap = 3;
  Start();
  std::vector<os::Socket> silent;
  for (int i = 0; i < 3; ++i) {
    silent.push_back(os::ConnectLoopback(port_));
    ASSERT_NE(silent.back(), os::kNoSocket);
    // Accepted in this order, so the first is the one read longest.
    ASSERT_TRUE(os::SendAll(silent.back(), "G"));
    os::SleepMs(50);
  }
  EXPECT_EQ(Exchange({"GET http://[wc]/D/ HTTP/1.0\r\n\r\n"}), "HTTP/1.1 204 No Content\n\n\n");
  // The first was closed without a reply; the others are still read.
  EXPECT_EQ(ReadToEnd(silent[0]), "");
  char byte;
  EXPECT_EQ(os::ReceiveWaiting(silent[2], &byte, 1), os::kNothingWaiting);
  for (os::Socket s : silent) os::Close(s);
}

// A [kv] operation and a command handler that answer with the name of the
// worker that serves the request.
int32_t ReplyWorkerName(engine::ThreadHandle&, const engine::OperationArgs& args) {
  const auto* request = reinterpret_cast<const engine::DatabaseRequest*>(args[1]);
  std::FILE* reply = std::fopen(reinterpret_cast<const char*>(args[0]), "w");
  std::fputs(request->entry->workerName, reply);
  std::fclose(reply);
  return 0;
}
void ReplyCommandWorkerName(engine::ThreadHandle& handle, engine::RequestEntry& entry) {
  engine::AnswerWithText(*handle.shared, entry, entry.workerName);
}

TEST_F(Intake, RequestsOfOneKindGetConsecutiveWorkerNamesAndAreFreedOnceAnswered) {
  platform::SetDatabaseOperation(platform::kRunKvCommand, ReplyWorkerName);
  engine::Hooks().commandHandler = ReplyCommandWorkerName;
  Start();
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i)
    names.push_back(Exchange({"GET http://[kv]/a:/b:/V/ HTTP/1.0\r\n\r\n"}));
  names.push_back(Exchange({"GET http://[wc]/D/ HTTP/1.0\r\n\r\n"}));
  platform::ResetDatabaseOperations();
  EXPECT_EQ(names, (std::vector<std::string>{"l1", "l2", "l3", "e1"}));
  // The entry is freed just after its socket closes.
  EXPECT_TRUE(shared_->wake.WaitFor(10000, [&] { return engine::QueueLength(*shared_) == 0; }));
  os::LockGuard guard(shared_->queueLock);
  EXPECT_EQ(shared_->requestQueue, nullptr);
  EXPECT_EQ(shared_->requestQueueTail, nullptr);
}

std::atomic<bool> release_first{false};
std::atomic<int> kv_calls{0};
engine::SharedContext* blocked_context = nullptr;

// The [kv] operation of this test: the first request holds the platform
// thread until the test lets it go.
int32_t HoldFirstRequest(engine::ThreadHandle& platform_thread, const engine::OperationArgs& args) {
  int calls = ++kv_calls;
  if (calls == 1) blocked_context->wake.WaitFor(20000, [] { return release_first.load(); });
  std::FILE* reply = std::fopen(reinterpret_cast<const char*>(args[0]), "w+");
  std::fprintf(reply, "served %d", calls);
  std::fclose(reply);
  (void)platform_thread;
  return 0;
}

TEST_F(Intake, ARequestArrivingWhileAnotherIsServedIsStillTaken) {
  blocked_context = shared_.get();
  release_first = false;
  kv_calls = 0;
  platform::SetDatabaseOperation(platform::kRunKvCommand, HoldFirstRequest);
  Start();
  std::string first_reply;
  std::thread first([&] { first_reply = Exchange({"GET http://[kv]/a:/b:/V/ HTTP/1.0\r\n\r\n"}); });
  std::string second_reply;
  std::thread second([&] {
    shared_->wake.WaitFor(20000, [&] { return shared_->operationState != 0; });
    second_reply = Exchange({"GET http://[kv]/a:/b:/V/ HTTP/1.0\r\n\r\n"});
  });
  // Both requests get their own worker although the first is still served.
  auto named = [&] {
    os::LockGuard guard(shared_->queueLock);
    int count = 0;
    for (auto* entry = shared_->requestQueue.get(); entry; entry = entry->next.get())
      count += entry->workerName[0] == 'l';
    return count == 2;
  };
  EXPECT_TRUE(shared_->wake.WaitFor(20000, named));
  shared_->wake.NotifyAfter([] { release_first = true; });
  first.join();
  second.join();
  platform::ResetDatabaseOperations();
  EXPECT_EQ(first_reply, "served 1");
  EXPECT_EQ(second_reply, "served 2");
}

TEST(RequestAssembler, CompletionRules) {
  static const struct {
    std::vector<std::string> pieces;
    bool complete;
    bool too_large;
  } cases[] = {
      {{"GET / HTTP/1.0\r\n"}, false, false},
      {{"GET / HTTP/1.0\r\n", "\r\n"}, true, false},
      {{"GET / HTTP/1.0\n\n"}, true, false},
      {{"POST / HTTP/1.0\r\nContent-length: 4\r\n\r\nab"}, false, false},
      {{"POST / HTTP/1.0\r\nContent-length: 4\r\n\r\nab", "cd"}, true, false},
      {{"POST / HTTP/1.0\r\nCONTENT-LENGTH: 2\r\n\r\n", std::string("\0\0", 2)}, true, false},
      // The blank after the colon is required.
      {{"POST / HTTP/1.0\r\nContent-length:4\r\n\r\n"}, true, false},
      {{"POST / HTTP/1.0\r\nContent-length: 0\r\n\r\n"}, true, false},
      {{"POST / HTTP/1.0\r\n\r\n"}, true, false},
      // Only the headers announce a length.
      {{"GET / HTTP/1.0\r\n\r\nContent-length: 99\r\n"}, true, false},
      {{"POST / HTTP/1.0\r\nContent-length: 999999999999\r\n\r\n"}, false, true},
      {{std::string(2000, 'x')}, false, true},
  };
  for (const auto& c : cases) {
    engine::RequestAssembler assembler(1000);
    for (const std::string& piece : c.pieces) assembler.Add(piece);
    EXPECT_EQ(assembler.Complete(), c.complete) << c.pieces[0];
    EXPECT_EQ(assembler.TooLarge(), c.too_large) << c.pieces[0];
  }
}

// Regression: the end of the headers was searched from the start after
// every piece, quadratic in the request's size (16 MB of CR: minutes).
TEST(RequestAssembler, FindingTheEndOfTheHeadersLooksAtEachByteOnce) {
  for (size_t piece : {size_t{1}, size_t{7}, size_t{4095}}) {
    engine::RequestAssembler assembler(size_t{8} << 20);
    std::string crs(piece, '\r');
    size_t total = 0;
    while (total < (size_t{1} << 20)) {
      assembler.Add(crs);
      total += piece;
    }
    EXPECT_FALSE(assembler.Complete());
    EXPECT_LE(assembler.BytesExamined(), total + 3 * (total / piece + 1)) << piece;
    assembler.Add("\n");
    EXPECT_FALSE(assembler.Complete());
    assembler.Add("\r\n");
    EXPECT_TRUE(assembler.Complete()) << piece;
  }
}

}  // namespace
