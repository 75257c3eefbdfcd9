// The notification-area icon (Windows, run under Wine): what its events and menu ask for, and
// that its actions reach the program from the icon's own thread: Quit ends a running server
// only once the request it is handling has been answered.
#include "orvane/ui/notification_icon.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "orvane/ui/http_server.hpp"
#include "orvane/ui/tray_events.hpp"

namespace orvane::ui {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

TEST(TrayEvents, IconEventsAndMenuCommands) {
  struct Case {
    const char* description;
    UINT event;
    TrayAction action;
  };
  const Case events[] = {
      {"double-click", WM_LBUTTONDBLCLK, TrayAction::OpenPage},
      {"Enter on the icon", NIN_KEYSELECT, TrayAction::OpenPage},
      {"right button released", WM_RBUTTONUP, TrayAction::ShowMenu},
      {"menu key", WM_CONTEXTMENU, TrayAction::ShowMenu},
      // The first click of a double-click must not already do something.
      {"left button released", WM_LBUTTONUP, TrayAction::None},
      {"right button pressed", WM_RBUTTONDOWN, TrayAction::None},
      {"pointer passing over", WM_MOUSEMOVE, TrayAction::None},
  };
  for (const Case& c : events) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(tray_action_for_icon_event(c.event), c.action);
  }

  const Case commands[] = {
      {"Open the page", COMMAND_OPEN_PAGE, TrayAction::OpenPage},
      {"Quit", COMMAND_QUIT, TrayAction::Quit},
      {"menu dismissed", 0, TrayAction::None},
      {"unknown command", 99, TrayAction::None},
  };
  for (const Case& c : commands) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(tray_action_for_command(c.event), c.action);
    if (c.action != TrayAction::None) {
      EXPECT_EQ(command_for_tray_action(c.action), c.event);
    }
  }
  EXPECT_NE(COMMAND_OPEN_PAGE, COMMAND_QUIT);
  EXPECT_EQ(command_for_tray_action(TrayAction::ShowMenu), 0u);
}

// Shows an icon, or skips where Wine can make no window (no display at all).
std::unique_ptr<NotificationIcon> show_or_skip(NotificationIcon::Actions actions) {
  auto icon = NotificationIcon::show(std::move(actions));
  if (!icon) return nullptr;
  return std::move(*icon);
}

TEST(NotificationIcon, OpenRunsOnTheIconsThread) {
  std::atomic<int> opened = 0;
  std::thread::id opened_on;
  auto icon = show_or_skip({.open_page =
                                [&] {
                                  opened_on = std::this_thread::get_id();
                                  ++opened;
                                },
                            .quit = [] {}});
  if (!icon) GTEST_SKIP() << "no window can be made here";
  icon->choose(TrayAction::OpenPage);
  icon->choose(TrayAction::None);
  EXPECT_EQ(opened, 1);
  EXPECT_NE(opened_on, std::this_thread::get_id());
  icon.reset();
  // A second icon after the first is gone: the window class is still registered.
  auto again = show_or_skip({.open_page = [&] { ++opened; }, .quit = [] {}});
  ASSERT_NE(again, nullptr);
  again->choose(TrayAction::OpenPage);
  EXPECT_EQ(opened, 2);
}

TEST(NotificationIcon, QuitEndsTheServerAfterTheRequestInProgress) {
  std::promise<void> entered;
  std::atomic<bool> handler_done = false;
  auto server =
      HttpServer::listen(0, {[](const HttpRequest&) { return std::optional<HttpResponse>(); },
                             [&](const HttpRequest&) {
                               entered.set_value();
                               std::this_thread::sleep_for(300ms);  // a settings file being written
                               handler_done = true;
                               return HttpResponse{200, "text/plain", "whole", {}};
                             },
                             [] { return false; }});
  ASSERT_TRUE(server) << server.error();
  HttpServer& serving = **server;
  auto icon = show_or_skip({.open_page = [] {}, .quit = [&serving] { serving.request_stop(); }});
  if (!icon) GTEST_SKIP() << "no window can be made here";

  std::atomic<bool> stopped_early = false;
  std::promise<void> ran;
  std::thread server_thread([&] {
    serving.run();
    stopped_early = !handler_done;
    ran.set_value();
  });
  std::string reply;
  std::thread client([&, port = serving.port()] {
    asio::io_context context;
    tcp::socket socket(context);
    boost::system::error_code ec;
    socket.connect(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), port), ec);
    const std::string request = "GET /save HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    asio::write(socket, asio::buffer(request), ec);
    char chunk[1024];
    while (!ec) reply.append(chunk, socket.read_some(asio::buffer(chunk), ec));
  });
  entered.get_future().wait();
  icon->choose(TrayAction::Quit);
  if (ran.get_future().wait_for(30s) != std::future_status::ready) {
    ADD_FAILURE() << "Quit on the icon did not stop the server";
    serving.request_stop();
  }
  server_thread.join();
  (*server).reset();
  client.join();
  EXPECT_TRUE(handler_done);
  EXPECT_FALSE(stopped_early);
  EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
  EXPECT_NE(reply.find("whole"), std::string::npos) << reply;
}

}  // namespace
}  // namespace orvane::ui
