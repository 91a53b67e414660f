#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The Qt host's tests need an application object, and Qt allows only one.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    QtApplicationEnvironment(int& argc, char** argv)
        : m_argc(argc)
        , m_argv(argv)
    {
    }

    void SetUp() override
    {
        if (!QCoreApplication::instance())
            m_app = std::make_unique<QApplication>(m_argc, m_argv);
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }

    void TearDown() override { m_app.reset(); }

private:
    int& m_argc;
    char** m_argv;
    std::unique_ptr<QApplication> m_app;
};

}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_SCALE_FACTOR", "1");
    ::testing::InitGoogleTest(&argc, argv);
    static int app_argc = argc;
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment(app_argc, argv));
    return RUN_ALL_TESTS();
}
