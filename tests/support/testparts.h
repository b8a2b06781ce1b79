// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A long test program runs as several ctest entries, each with its own time
// limit (marrowlink_add_test_part in the top CMakeLists.txt): another entry
// names its functions on the command line, and the program's own entry runs
// every function but those, which it finds named in its MARROWLINK_PART_*
// variables. A function added later runs in the own entry without a word in
// CMake; a part naming a function the class lacks fails. Given any argument
// (by hand: a function, -functions, -o), the program does as QTest reads it.
#include <QMetaMethod>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

namespace testparts {

inline int exec(QObject* test, int argc, char** argv)
{
    QStringList elsewhere;
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : environment.keys())
        if (key.startsWith(QLatin1String("MARROWLINK_PART_")))
            elsewhere += environment.value(key).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (argc > 1 || elsewhere.isEmpty())
        return QTest::qExec(test, argc, argv);

    // The functions QTest runs: the class's own private slots of no
    // arguments and no result, but its data functions and the fixture's four.
    const QStringList fixture{QStringLiteral("initTestCase"), QStringLiteral("cleanupTestCase"), QStringLiteral("init"),
                              QStringLiteral("cleanup")};
    QStringList arguments{QString::fromLocal8Bit(argv[0])};
    const QMetaObject* meta = test->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private
            || method.parameterCount() != 0 || method.returnMetaType() != QMetaType::fromType<void>()
            || name.endsWith(QLatin1String("_data")) || fixture.contains(name))
            continue;
        if (elsewhere.removeAll(name) == 0)
            arguments << name;
    }
    if (!elsewhere.isEmpty()) {
        qCritical("another part names what is no test function here: %s", qPrintable(elsewhere.join(QLatin1Char(' '))));
        return 1;
    }
    return QTest::qExec(test, arguments);
}

} // namespace testparts

// QTEST_MAIN and QTEST_GUILESS_MAIN for a program whose functions run in
// parts.
#define MARROWLINK_TEST_PARTS_MAIN_WRAPPER(TestObject, ...) \
    int main(int argc, char* argv[]) \
    { \
        QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>(); \
        __VA_ARGS__ \
        TestObject tc; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return testparts::exec(&tc, argc, argv); \
    }
#define MARROWLINK_TEST_PARTS_MAIN(TestObject) MARROWLINK_TEST_PARTS_MAIN_WRAPPER(TestObject, QTEST_MAIN_SETUP())
#define MARROWLINK_TEST_PARTS_GUILESS_MAIN(TestObject) \
    MARROWLINK_TEST_PARTS_MAIN_WRAPPER(TestObject, QTEST_QAPP_SETUP(QCoreApplication))
