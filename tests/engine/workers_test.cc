// Event strings, the dispatcher, sequence numbers, the reaper, reply file
// names and stopping.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>
#include <thread>

#include "engine/error_page.h"
#include "engine/reply_file.h"
#include "engine/request_entry.h"
#include "engine/workers.h"
#include "running_engine.h"

namespace {

using Workers = RunningEngine;

TEST_F(Workers, EventStringsCarryLetterSequenceAndReferences) {
  engine::RequestEntry entry;
  std::string text =
      engine::FormatEventString('l', 17, shared_.get(), engine::ReferenceText(&entry));
  long context = reinterpret_cast<long>(shared_.get());
  EXPECT_EQ(text, "l17 " + std::to_string(context) + " " +
                      std::to_string(reinterpret_cast<long>(&entry)));
  EXPECT_EQ(engine::FormatEventString('g', 1, shared_.get(), ""),
            "g1 " + std::to_string(context) + " ");
  EXPECT_EQ(engine::LiveContext(std::strtol(std::to_string(context).c_str(), nullptr, 10)),
            shared_.get());
}

TEST_F(Workers, BadSharedContextEndsTheThreadWithTheMessage) {
  std::string context = std::to_string(reinterpret_cast<long>(shared_.get()));
  static const struct {
    std::string event;
    const char* message;  // nullptr: nothing starts, nothing shown
  } cases[] = {
      {"d1 0 ", engine::kBadSharedData},
      {"a1 0 ", engine::kListenBadSharedData},
      {"b1 12345 ", engine::kBadSharedData},  // names no context
      {"i1 ", engine::kBadSharedData},
      {"longname1 " + context + " ", engine::kBadSharedData},  // handle cannot be made
      {"l1 " + context + " 999", engine::kBadSharedData},      // entry not in the queue
      {"m1 " + context + " ", nullptr},
      {"", nullptr},
      {"Z", nullptr},
  };
  for (const auto& c : cases) {
    os::TraceList trace;
    os::SetDesktopTrace(&trace);
    engine::DispatchEventString(c.event);
    os::SetDesktopTrace(&trace_);
    std::vector<std::string> lines = trace.Lines();
    if (c.message == nullptr) {
      EXPECT_TRUE(lines.empty()) << c.event;
    } else {
      ASSERT_EQ(lines.size(), 1u) << c.event;
      EXPECT_EQ(lines[0], std::string("[Error Condition Encountered] (error) ") + c.message);
    }
    EXPECT_EQ(shared_->liveThreads, 0) << c.event;
  }
}

// A worker counts from the moment it is started, so a shutdown right after
// the start cannot free the context under it; a string that starts nothing
// gives the count back.
TEST_F(Workers, StartedWorkersAreCountedUntilTheyEnd) {
  os::TraceList trace;
  os::SetDesktopTrace(&trace);
  ASSERT_TRUE(engine::StartWorker('m', 1, shared_.get(), ""));  // no such letter
  ASSERT_TRUE(engine::StartWorker('g', 1, shared_.get(), ""));  // ends at once
  EXPECT_TRUE(shared_->wake.WaitFor(5000, [&] { return engine::WorkersAlive(*shared_) == 0; }));
  os::SetDesktopTrace(&trace_);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(Workers, SequenceNumbersWrapFrom99To0) {
  shared_->sequence[engine::kDatabaseRequest] = 97;
  std::vector<int> got;
  for (int i = 0; i < 4; ++i)
    got.push_back(engine::NextSequence(*shared_, engine::kDatabaseRequest));
  EXPECT_EQ(got, (std::vector<int>{98, 99, 0, 1}));
  EXPECT_EQ(engine::NextSequence(*shared_, engine::kCommandRequest), 1);
}

TEST_F(Workers, ReaperFreesOnlyTheDoneHeadAndNothingWhilePending) {
  for (int done : {1, 1, 0, 1}) {
    auto entry = std::make_unique<engine::RequestEntry>();
    entry->done = done;
    entry->eventType = engine::kPassThrough;
    engine::AppendEntry(*shared_, std::move(entry));
  }
  // A reply file left behind long ago, and a fresh one.
  std::string old_file = folder_ + "/wtemp/17", new_file = folder_ + "/wtemp/18";
  for (const std::string& path : {old_file, new_file})
    close(open(path.c_str(), O_CREAT | O_WRONLY, 0644));
  timespec long_ago[2] = {{1000000, 0}, {1000000, 0}};
  utimensat(AT_FDCWD, old_file.c_str(), long_ago, 0);

  auto reaper = engine::MakeThreadHandle("i1", shared_.get());
  shared_->pending[engine::kReplicaRequest] = 1;
  EXPECT_EQ(engine::ReapOnce(*reaper), -1);
  EXPECT_TRUE(os::FileExists(old_file));
  shared_->pending[engine::kReplicaRequest] = 0;
  EXPECT_EQ(engine::ReapOnce(*reaper), 2);
  EXPECT_FALSE(os::FileExists(old_file));
  EXPECT_TRUE(os::FileExists(new_file));
  {
    os::LockGuard guard(shared_->queueLock);
    ASSERT_NE(shared_->requestQueue, nullptr);
    EXPECT_EQ(shared_->requestQueue->done, 0);
    ASSERT_NE(shared_->requestQueue->next, nullptr);
    EXPECT_EQ(shared_->requestQueue->next->done, 1);  // behind an unfinished one: stays
    shared_->requestQueue->done = 1;
  }
  EXPECT_EQ(engine::ReapOnce(*reaper), 2);
  EXPECT_EQ(shared_->requestQueue, nullptr);
}

TEST_F(Workers, ReplyFileNumbersRunFrom3To999ThenWrapSkippingExistingFiles) {
  std::string wtemp = folder_ + "/wtemp";
  engine::SetReplyFileCounter(2);
  for (int expected = 3; expected <= 999; ++expected) {
    auto name = engine::NewReplyFileName(wtemp);
    ASSERT_TRUE(name.has_value());
    ASSERT_EQ(*name, wtemp + "/" + std::to_string(expected));
    ASSERT_TRUE(os::FileExists(*name));  // created at once
    std::remove(name->c_str());
  }
  close(open((wtemp + "/3").c_str(), O_CREAT | O_WRONLY, 0644));  // left behind
  EXPECT_EQ(engine::NewReplyFileName(wtemp), wtemp + "/2");
  EXPECT_EQ(engine::NewReplyFileName(wtemp), wtemp + "/4");
  // The skip does not wrap.
  engine::SetReplyFileCounter(998);
  close(open((wtemp + "/999").c_str(), O_CREAT | O_WRONLY, 0644));
  EXPECT_EQ(engine::NewReplyFileName(wtemp), wtemp + "/1000");
  // A prefix, the working folder, and the length bound.
  engine::SetReplyFileCounter(16);
  EXPECT_EQ(engine::NewReplyFileName(wtemp, "CD"), wtemp + "/CD17");
  EXPECT_EQ(engine::NewReplyFileName(), folder_ + "/wtemp/18");
  EXPECT_FALSE(engine::NewReplyFileName(std::string(2011, 'x')).has_value());
  EXPECT_FALSE(engine::NewReplyFileName(folder_ + "/missing").has_value());
}

TEST_F(Workers, EightThreadsNeverDrawTheSameName) {
  std::string wtemp = folder_ + "/wtemp";
  engine::SetReplyFileCounter(2);
  std::vector<std::vector<std::string>> drawn(8);
  std::vector<std::thread> threads;
  for (auto& mine : drawn) {
    threads.emplace_back([&mine, &wtemp] {
      for (int i = 0; i < 100; ++i) mine.push_back(engine::NewReplyFileName(wtemp).value_or(""));
    });
  }
  for (auto& t : threads) t.join();
  std::set<std::string> unique;
  for (const auto& mine : drawn)
    for (const auto& name : mine) {
      EXPECT_FALSE(name.empty());
      unique.insert(name);
    }
  EXPECT_EQ(unique.size(), 800u);
}

std::string ErrorText(const engine::ThreadHandle&) {
  return "Database not found.";
}

TEST_F(Workers, ErrorPageOnAndOffLine) {
  auto handle = engine::MakeThreadHandle("l1", shared_.get());
  auto page = [&](const char* before) {
    std::FILE* file = std::tmpfile();
    std::fputs(before, file);
    engine::WriteErrorPage(file, *handle);
    std::rewind(file);
    std::string text(1000, 0);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text;
  };
  EXPECT_EQ(page(""),
            "<html><DT><H2>Ledra Error:</H2><DT><DT>Could not perform requested action.<DT>");
  engine::Hooks().platformErrorText = ErrorText;
  EXPECT_EQ(page("x"), "x<html><DT><H2>Ledra Error:</H2><DT><DT>Database not found.<DT>");
  shared_->offline = 1;
  std::string filler(200, '#');
  std::string redirect = "HTTP/1.0 302 Temporarily Moved\r\nLocation: file://" + folder_ +
                         "/htmdata/offline.htm\r\n\r\n";
  EXPECT_EQ(page(filler.c_str()), redirect + filler.substr(redirect.size()));
  engine::WriteErrorPage(nullptr, *handle);  // no file: nothing
}

TEST_F(Workers, StopEndsEveryLoopAndClearsThePlatformWindow) {
  Start();
  ASSERT_TRUE(shared_->wake.WaitFor(10000, [&] {
    return shared_->liveThreads >= 7 && shared_->platformWindow != nullptr;
  }));  // a b c d e f i ('g' and 'h' end at once without their layers)
  EXPECT_EQ(Exchange({"GET http://[wc]/D/ HTTP/1.0\r\n\r\n"}), "HTTP/1.1 204 No Content\n\n\n");
  EXPECT_TRUE(StopAndWait());
  EXPECT_EQ(shared_->platformWindow, nullptr);
}

}  // namespace
