// Vexlo's entry point: reads the command line's options, picks Qt's platform, builds the Qt dialog
// host and runs the application.

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

#include "app/CommandOptions.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "platform/Paths.h"
#include "platform/StandardStreams.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace {

// SIGTERM, SIGINT and SIGHUP close the window like its Cancel command, so that the running tools
// are stopped and the exit status tells what happened. The handler only writes to a pipe.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void CloseOnSignals(vexlo::platform::qt::QtDialogHost& host) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &host);
  QObject::connect(notifier, &QSocketNotifier::activated, &host, [&host] {
    char buffer[16];
    while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    host.reject();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

bool Offscreen() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform && std::string_view(platform) == "offscreen";
}

// What the command line asks for.
struct StartRequest {
  std::optional<int> exitNow;  // end at once with this status: help, version, a refused option
  std::string screenshot;      // --screenshot FILE
  std::optional<vexlo::app::OptionJob> job;
  std::string commandLine;     // the comma form, SOURCE,DESTINATION[,PROFILE,CRF]
};

int Refuse(std::string_view line) {
  std::fprintf(stderr, "vexlo: %s\n", vexlo::app::OneLine(line).c_str());
  return 2;
}

// Options begin with "--" (or are -h, -? or -v); any other command line is the comma form, whose
// fields keep their written grammar, a path that begins with a single '-' included.
bool UsesOptions(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with("--") || argument == "-h" || argument == "-?" || argument == "-v") {
      return true;
    }
  }
  return false;
}

// Arguments go through the parser as Latin-1, one character per byte, and come back the same
// way: a path that is not valid UTF-8 reaches the job byte for byte.
QString Bytes(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string Bytes(const QString& text) { return text.toLatin1().toStdString(); }

constexpr char kUsage[] =
    "Usage: vexlo [--source PATH --destination PATH [options]]\n"
    "       vexlo SOURCE,DESTINATION[,PROFILE,CRF]\n";

StartRequest ReadOptions(int argc, char** argv) {
  StartRequest request;
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      "\nA front end for FFmpeg's command-line tools. Without arguments it opens its window.\n"
      "\n"
      "With --source and --destination it encodes that one file by itself, as the window's\n"
      "Encode button would, and ends with status 0 when the encode succeeded, 1 when it failed\n"
      "or was refused, 2 for a bad command line. This form neither reads nor writes the\n"
      "window's settings.\n"
      "\n"
      "The comma form encodes SOURCE to H.264 in DESTINATION with the list positions PROFILE\n"
      "(0 when absent) and CRF (4 when absent), and saves them as the window's settings. A\n"
      "path that holds a comma needs the options.");
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  for (const vexlo::app::JobOptionHelp& option : vexlo::app::JobOptions()) {
    parser.addOption(QCommandLineOption(Bytes(option.name), QString::fromStdString(option.description),
                                        Bytes(option.valueName)));
  }
  QCommandLineOption screenshot("screenshot", "Save a picture of the window to FILE and end.",
                                "FILE");
  screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(screenshot);

  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << Bytes(std::string_view(argv[i]));
  if (!parser.parse(arguments)) {
    request.exitNow = Refuse(Bytes(parser.errorText()) + " (see vexlo --help)");
    return request;
  }
  if (parser.isSet(help) || parser.isSet("help-all")) {
    QString text = parser.helpText();
    text.remove(0, text.indexOf('\n') + 1);  // the parser's usage line names no program
    std::fputs(kUsage, stdout);
    std::fputs(text.toLocal8Bit().constData(), stdout);
    request.exitNow = 0;
    return request;
  }
  if (parser.isSet(version)) {
    std::printf("vexlo %s\n", VEXLO_VERSION);
    request.exitNow = 0;
    return request;
  }
  if (!parser.positionalArguments().isEmpty()) {
    request.exitNow = Refuse("unexpected argument \"" + Bytes(parser.positionalArguments().first()) +
                             "\": with options, give the paths with --source and --destination");
    return request;
  }
  const QStringList names = parser.optionNames();
  if (parser.isSet(screenshot)) {
    if (names.size() != 1) {
      request.exitNow = Refuse("--screenshot FILE takes no other option");
      return request;
    }
    // From the caller's folder, made absolute here like every path the caller gives.
    request.screenshot = vexlo::platform::FromWorkingDirectory(
        Bytes(parser.value(screenshot)), vexlo::platform::CurrentDirectory());
    return request;
  }
  // Each name in the order given, with its own value: values() lists a repeated option's values
  // in the same order.
  std::vector<vexlo::app::GivenOption> given;
  for (int i = 0; i < names.size(); ++i) {
    const QStringList values = parser.values(names[i]);
    const int repeat = static_cast<int>(names.mid(0, i).count(names[i]));
    given.push_back({Bytes(names[i]), repeat < values.size() ? Bytes(values[repeat]) : ""});
  }
  vexlo::app::OptionJob job;
  const std::string refusal =
      vexlo::app::ReadJobOptions(given, vexlo::platform::CurrentDirectory(), job);
  if (!refusal.empty()) {
    request.exitNow = Refuse(refusal);
    return request;
  }
  request.job = job;
  return request;
}

}  // namespace

int main(int argc, char** argv) {
  vexlo::platform::ProtectStandardStreams();
  StartRequest request;
  if (UsesOptions(argc, argv)) {
    request = ReadOptions(argc, argv);
    if (request.exitNow) return *request.exitNow;
  } else {
    request.commandLine = vexlo::app::JoinArguments(argc, argv);
  }
  const std::string& screenshot = request.screenshot;
  const bool automatic =
      request.job || vexlo::app::ParseCommandLine(request.commandLine).count >= 2;

  if (!std::getenv("QT_QPA_PLATFORM") && !HasDisplay()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (Offscreen() && !automatic && screenshot.empty()) {
    std::fprintf(stderr,
                 "vexlo: there is no display, so no window can be shown.\n"
                 "Encode a file without the window (automatic mode):\n"
                 "  vexlo SOURCE,DESTINATION[,PROFILE,CRF]\n"
                 "  vexlo --source PATH --destination PATH [options]   (see vexlo --help)\n");
    return 2;
  }

  QApplication application(argc, argv);
  vexlo::app::RegistryStore store;
  vexlo::platform::qt::QtDialogHost host(vexlo::res::MainDialogTemplate());
  CloseOnSignals(host);
  // The picture is taken once the window is shown and its log pane holds the first line, looked
  // for every 20 ms; a window that is not ready within a minute is closed with a message.
  QTimer screenshotTimer;
  if (!screenshot.empty()) {
    screenshotTimer.setInterval(20);
    QObject::connect(&screenshotTimer, &QTimer::timeout, &host,
                     [&host, &screenshot, &screenshotTimer, ticks = 0]() mutable {
                       const bool ready = host.isVisible() &&
                                          !host.text(vexlo::res::id::kLogPane).empty();
                       if (!ready && ++ticks < 3000) return;
                       screenshotTimer.stop();
                       if (!ready || !host.grab().save(QString::fromStdString(screenshot))) {
                         std::fprintf(stderr, "vexlo: could not write %s\n", screenshot.c_str());
                       }
                       host.reject();
                     });
    screenshotTimer.start();
  }
  vexlo::app::CVexloApp app;
  const auto runModal = [&host](vexlo::platform::DialogEvents& events) { return host.run(events); };
  if (request.job) return app.InitInstance(host, store, runModal, *request.job);
  return app.InitInstance(host, store, runModal, request.commandLine);
}
