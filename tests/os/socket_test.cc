// Sockets on loopback: start-up, listen on a kernel-chosen port, exchange.
#include "os/socket.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Socket, StartupDescribesItself) {
  std::string description, status;
  EXPECT_EQ(os::SocketStartup(&description, &status), 0);
  EXPECT_FALSE(description.empty());
  EXPECT_FALSE(status.empty());
}

TEST(Socket, ListenAcceptReceiveSend) {
  os::Socket listening = os::CreateStreamSocket();
  ASSERT_NE(listening, os::kNoSocket);
  ASSERT_TRUE(os::SetReuseAddress(listening));
  ASSERT_TRUE(os::SetKeepAlive(listening));
  ASSERT_TRUE(os::Bind(listening, "127.0.0.1", 0));
  ASSERT_TRUE(os::Listen(listening, 40));
  uint16_t port = os::LocalPort(listening);
  ASSERT_NE(port, 0);
  EXPECT_EQ(os::WaitReadable(listening, 0), 0);  // nobody connected yet

  os::Socket client = os::ConnectLoopback(port);
  ASSERT_NE(client, os::kNoSocket);
  ASSERT_EQ(os::WaitReadable(listening, 5000), 1);
  os::Socket served = os::Accept(listening);
  ASSERT_NE(served, os::kNoSocket);

  ASSERT_TRUE(os::SendAll(client, std::string("ping\0pong", 9)));
  char buffer[16];
  ASSERT_TRUE(os::SetReceiveTimeout(served, 5000));
  long got = 0;
  while (got < 9) {
    long n = os::Receive(served, buffer + got, sizeof buffer - got);
    ASSERT_GT(n, 0);
    got += n;
  }
  EXPECT_EQ(std::string(buffer, 9), std::string("ping\0pong", 9));
  os::ShutdownAndClose(served);
  EXPECT_EQ(os::Receive(client, buffer, sizeof buffer), 0);  // peer's end
  os::Close(client);
  os::Close(listening);
}

TEST(Socket, BindRefusesABadAddress) {
  os::Socket s = os::CreateStreamSocket();
  EXPECT_FALSE(os::Bind(s, "not an address", 0));
  os::Close(s);
}

}  // namespace
