// Sway's IPC as the hotkey speaks it: the framing of messages in whatever
// pieces the socket gives them, the events and replies, the check of the
// configuration for a key the user bound, the binding names, and what the
// events mean for the hotkey's edges around a reload.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/wayland/sway_hotkey.h"
#include "platform/wayland/sway_ipc_messages.h"

namespace snapwick::wayland {
namespace {

std::string Header(std::uint32_t length, std::uint32_t type) {
  std::string bytes = "i3-ipc";
  bytes.append(reinterpret_cast<const char*>(&length), 4);
  bytes.append(reinterpret_cast<const char*>(&type), 4);
  return bytes;
}

TEST(IpcFramingTest, Encode_MagicLengthTypePayload) {
  EXPECT_EQ(EncodeIpcMessage(2, R"(["binding"])"), Header(11, 2) + R"(["binding"])");
  EXPECT_EQ(EncodeIpcMessage(9, ""), Header(0, 9));
}

TEST(IpcFramingTest, Reader_AnyPieces_SameMessagesInOrder) {
  const std::string stream = EncodeIpcMessage(0, R"([{"success":true}])") +
                             EncodeIpcMessage(sway_ipc::kBindingEvent, "{}") +
                             EncodeIpcMessage(9, "");
  for (std::size_t piece : {1u, 3u, 7u, 14u, 1000u}) {
    IpcMessageReader reader;
    std::vector<IpcMessage> got;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      reader.Append(stream.data() + at, std::min(piece, stream.size() - at));
      while (auto message = reader.Next()) got.push_back(*message);
    }
    ASSERT_EQ(got.size(), 3u) << "pieces of " << piece;
    EXPECT_EQ(got[0].type, 0u);
    EXPECT_EQ(got[0].payload, R"([{"success":true}])");
    EXPECT_EQ(got[1].type, sway_ipc::kBindingEvent);
    EXPECT_EQ(got[1].payload, "{}");
    EXPECT_EQ(got[2].payload, "");
    EXPECT_FALSE(reader.Broken());
  }
}

TEST(IpcFramingTest, Reader_ManyMessages_BufferDoesNotKeepThem) {
  IpcMessageReader reader;
  const std::string message = EncodeIpcMessage(1, std::string(1000, 'x'));
  for (int i = 0; i < 10000; ++i) {
    reader.Append(message.data(), message.size());
    ASSERT_TRUE(reader.Next());
  }
  EXPECT_FALSE(reader.Next());
}

TEST(IpcFramingTest, Reader_GarbageOrHugeLength_BrokenForGood) {
  IpcMessageReader wrongMagic;
  wrongMagic.Append("i3-ipX", 6);
  EXPECT_FALSE(wrongMagic.Next());
  EXPECT_TRUE(wrongMagic.Broken());
  const std::string good = EncodeIpcMessage(0, "[]");
  wrongMagic.Append(good.data(), good.size());
  EXPECT_FALSE(wrongMagic.Next());

  IpcMessageReader huge;
  const std::string header = Header(sway_ipc::kMaxPayload + 1, 0);
  huge.Append(header.data(), header.size());
  EXPECT_FALSE(huge.Next());
  EXPECT_TRUE(huge.Broken());
}

TEST(IpcRepliesTest, CommandReply_OutcomesInOrder) {
  const auto outcomes = ParseCommandReply(
      R"([{"success":true},{"success":false,"parse_error":true,"error":"Unknown key 'Bogus'"}])");
  ASSERT_TRUE(outcomes);
  ASSERT_EQ(outcomes->size(), 2u);
  EXPECT_TRUE((*outcomes)[0].success);
  EXPECT_FALSE((*outcomes)[1].success);
  EXPECT_EQ((*outcomes)[1].error, "Unknown key 'Bogus'");
  EXPECT_FALSE(AllSucceeded(outcomes, 2));
  EXPECT_TRUE(AllSucceeded(ParseCommandReply(R"([{"success":true}])"), 1));
  // A reply for fewer commands than were sent, or none at all, is no
  // success.
  EXPECT_FALSE(AllSucceeded(ParseCommandReply(R"([{"success":true}])"), 2));
  EXPECT_FALSE(AllSucceeded(ParseCommandReply("[]"), 1));
  EXPECT_FALSE(ParseCommandReply(R"({"success":true})"));
  EXPECT_TRUE(IsSuccess(R"({"success": true})"));
  EXPECT_FALSE(IsSuccess(R"({"success": false, "error": "true"})"));
  EXPECT_FALSE(IsSuccess(R"([{"success": true}])"));
  EXPECT_FALSE(ParseCommandReply("[{"));
}

// As sway 1.7 sends them.
constexpr const char* kBindingEvent =
    R"({"change":"run","binding":{"command":"nop snapwick-7-ab-down","event_state_mask":[],)"
    R"("input_code":0,"symbol":"F8","input_type":"keyboard"}})";

TEST(IpcEventsTest, BindingEvent_KeyboardRunsOnly) {
  EXPECT_EQ(BoundCommandOf(kBindingEvent), "nop snapwick-7-ab-down");
  EXPECT_FALSE(
      BoundCommandOf(R"({"change":"run","binding":{"command":"nop x","input_type":"mouse"}})"));
  EXPECT_FALSE(BoundCommandOf(R"({"change":"other","binding":{"command":"nop x",)"
                              R"("input_type":"keyboard"}})"));
  EXPECT_FALSE(BoundCommandOf("not json"));
  EXPECT_TRUE(IsReload(R"({"change":"reload","old":null,"current":null})"));
  EXPECT_FALSE(IsReload(R"({"change":"focus","current":{"name":"1"}})"));
  EXPECT_EQ(ConfigTextOf(R"({"config":"bindsym F8 exec x\n"})"), "bindsym F8 exec x\n");
  EXPECT_FALSE(ConfigTextOf("[]"));
}

TEST(ConfigBindsKeyTest, UserBindingOfTheKeyAlone_Taken) {
  const char* taken[] = {
      "bindsym F8 exec grim\n",
      "bindsym --release f8 exec grim\n",
      "bindsym --no-warn --locked F8 exec x\n",
      "set $shot F8\nbindsym $shot exec grim\n",
      "bindsym {\n  F8 exec grim\n  F9 exec other\n}\n",
      "bindsym --to-code {\n  F8 exec grim\n}\n",
      "bindsym \\\n  F8 exec grim\n",
  };
  for (const char* config : taken) EXPECT_TRUE(ConfigBindsKey(config, false, "F8")) << config;
  EXPECT_TRUE(ConfigBindsKey("bindcode 10 exec x\n", true, "10"));
}

TEST(ConfigBindsKeyTest, OtherKeysModesAndBlocks_Free) {
  const char* free[] = {
      "",
      "bindsym $mod+F8 exec grim\n",
      "bindsym Shift+F8 exec grim\n",
      "# bindsym F8 exec grim\n",
      "bindsym F9 exec grim\n",
      "bindsym F80 exec grim\n",
      "mode \"resize\" {\n  bindsym F8 mode default\n}\n",
      "bindsym --whole-window F8 exec x\n",
      "input * {\n  xkb_layout us\n}\nbar {\n  status_command F8\n}\n",
      "exec_always bindsym F8 x\n",
  };
  for (const char* config : free) EXPECT_FALSE(ConfigBindsKey(config, false, "F8")) << config;
  // A mode's block ends: the next line is in the default mode again.
  EXPECT_TRUE(ConfigBindsKey("mode \"m\" {\n  bindsym F9 x\n}\nbindsym F8 x\n", false, "F8"));
  EXPECT_FALSE(ConfigBindsKey("bindsym 10 exec x\n", true, "10"));
}

TEST(HotkeyEventsTest, Tags_UniqueAndOfThisProcess) {
  std::set<std::string> tags;
  for (int i = 0; i < 100; ++i) tags.insert(NewBindingTag());
  EXPECT_EQ(tags.size(), 100u);
  const std::string tag = *tags.begin();
  EXPECT_TRUE(tag.starts_with("snapwick-" + std::to_string(getpid()) + "-")) << tag;
  // A word of its own in a command: nothing sway would split or quote.
  EXPECT_EQ(tag.find_first_of(" ;,\"'"), std::string::npos) << tag;
  const HotkeyEvents events(tag);
  EXPECT_EQ(events.DownName(), tag + "-down");
  EXPECT_EQ(events.UpName(), tag + "-up");
}

IpcMessage Binding(const std::string& name) {
  return {sway_ipc::kBindingEvent, R"({"change":"run","binding":{"command":"nop )" + name +
                                       R"(","input_type":"keyboard"}})"};
}

const IpcMessage kReload{sway_ipc::kWorkspaceEvent, R"({"change":"reload"})"};

TEST(HotkeyEventsTest, OwnBindings_EveryRunReported_OthersNot) {
  const HotkeyEvents events("snapwick-1-aa");
  // A held key's press binding runs again at each repeat: each is a down.
  EXPECT_EQ(events.OnEvent(Binding("snapwick-1-aa-down")).down, true);
  EXPECT_EQ(events.OnEvent(Binding("snapwick-1-aa-down")).down, true);
  EXPECT_EQ(events.OnEvent(Binding("snapwick-1-aa-up")).down, false);
  EXPECT_EQ(events.OnEvent(Binding("snapwick-1-aa-up")).down, false);
  for (const char* other : {"snapwick-2-aa-down", "snapwick-1-ab-down", "snapwick-1-aa-down2",
                            "snapwick-1-aa", "snapwick-1-aa-down-x"}) {
    EXPECT_FALSE(events.OnEvent(Binding(other)).down) << other;
  }
  EXPECT_FALSE(events.OnEvent({sway_ipc::kWorkspaceEvent, R"({"change":"focus"})"}).rebind);
  const HotkeyEvents::Outcome reload = events.OnEvent(kReload);
  EXPECT_TRUE(reload.rebind);
  EXPECT_FALSE(reload.down);
}

}  // namespace
}  // namespace snapwick::wayland
