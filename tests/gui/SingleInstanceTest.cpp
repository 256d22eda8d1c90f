// A second start of the program finds the first through its socket, brings it to the front and
// ends at once.
#include "app/SingleInstance.h"

#include "GuiRig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace kreisel {
namespace {

class MessageLog : public NoDialogs {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

TEST(SingleInstance, ASecondStartActivatesTheFirstAndEnds) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QString socket = QDir(runtime.path()).filePath(QStringLiteral("kreisel.instance"));

    QWidget window;
    window.showMinimized();
    SingleInstance first(socket);
    ASSERT_FALSE(first.OtherInstanceRunning());
    int activations = 0;
    MessageLog dialogs;
    first.Activate = [&] {
        ++activations;
        SingleInstance::BringToFront(&window, dialogs);
    };

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(KREISEL_PROGRAM), {QStringLiteral("--audio"), QStringLiteral("silence")});
    ASSERT_TRUE(second.waitForStarted(5000));
    for (int i = 0; i < 100 && (second.state() != QProcess::NotRunning || activations == 0); ++i) {
        second.waitForFinished(20);
        RunEvents(20);
    }
    EXPECT_EQ(second.state(), QProcess::NotRunning);
    if (second.state() != QProcess::NotRunning) second.kill();
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(activations, 1);
    EXPECT_FALSE(window.isMinimized());
}

TEST(SingleInstance, ASocketLeftByACrashedInstanceIsTakenOver) {
    QTemporaryDir runtime;
    const QString socket = QDir(runtime.path()).filePath(QStringLiteral("kreisel.instance"));
    QFile stale(socket);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    SingleInstance first(socket);
    EXPECT_FALSE(first.OtherInstanceRunning());
    SingleInstance second(socket);
    EXPECT_TRUE(second.OtherInstanceRunning());
}

} // namespace
} // namespace kreisel
