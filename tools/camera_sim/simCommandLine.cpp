#include "simCommandLine.h"

namespace {

const char* const USAGE =
    "usage: camera_sim [options]\n"
    "Plays the camera computers of a station on their control and input directories.\n"
    "A camera is played when both of its directories are given.\n"
    "\n"
    "  --a-control DIR       control directory of camera A\n"
    "  --a-input DIR         input directory of camera A\n"
    "  --b-control DIR       control directory of camera B\n"
    "  --b-input DIR         input directory of camera B\n"
    "  --seconds S           stop after S seconds (default: run until SIGINT or SIGTERM)\n"
    "  --seed N              seed of the rain; both cameras see the same drops (default 1)\n"
    "  --rain R              drops per second, or dry (0), light (3), heavy (3000); default light\n"
    "  --file-interval S     seconds between transfer files (default 1)\n"
    "  --frames N            deliver N frames, then transfer files without frames (default: no\n"
    "                        end)\n"
    "  --log-interval S      seconds between camera log files while measuring, 0 for none\n"
    "                        (default 20)\n"
    "  --norm-delay MS       from acquire.par to the norm-video file (default 1000)\n"
    "  --reboot-offline MS   how long a reboot keeps a camera offline (default 3000)\n"
    "  --step MS             pause between two looks at the directories (default 25)\n"
    "  --frame-log FILE      append a line per frame and per file written to FILE\n"
    "  --verbose             print a line per action\n"
    "  --par-copy DIR        keep a copy of every acquire.par received in DIR\n"
    "  --help                print this text\n"
    "  --version             print the version\n"
    "\n"
    "Faults, timed in seconds from the start:\n"
    "  --silent-after S      write no more transfer files, but go on answering control files\n"
    "  --garbage-at S        write one transfer file of random bytes\n"
    "  --redeliver-at S      deliver the transfer file with frames written 10 s before once\n"
    "                        more, under a new name, as a camera computer repeating a copy may\n"
    "  --disconnect-at S     remove \"connect\" once\n"
    "  --keep-commands       obey resync, reboot and cancel but never remove their files\n"
    "  --keep-par-after S    read every new acquire.par but never remove it\n"
    "  --capital-names       name the files written in capitals (X.A.CAM, REQUEST.SYNC), as\n"
    "                        a camera computer whose file system has no case may\n"
    "\n"
    "The options of a camera (all but --seconds, --step and --frame-log) apply to both\n"
    "cameras; with the prefix --a- or --b- they apply to one (--b-silent-after 15,\n"
    "--a-norm-delay 500). Values follow as the next argument or after \"=\" (--seconds=30).\n";

// Splits a camera prefix off an option name: "a-silent-after" gives camera A only.
void cameraScope(QString* name, bool scope[2]) {
    scope[0] = scope[1] = true;
    if (name->startsWith(QLatin1String("a-"))) {
        scope[1] = false;
        name->remove(0, 2);
    } else if (name->startsWith(QLatin1String("b-"))) {
        scope[0] = false;
        name->remove(0, 2);
    }
}

bool seconds(const QString& text, double* value) {
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && *value >= 0.0;
}

bool milliseconds(const QString& text, int* value) {
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= 0;
}

bool count(const QString& text, long long* value) {
    bool ok = false;
    *value = text.toLongLong(&ok);
    return ok && *value >= 0;
}

bool rainRate(const QString& text, double* value) {
    if (text == QLatin1String("dry"))
        *value = 0.0;
    else if (text == QLatin1String("light"))
        *value = RAIN_LIGHT;
    else if (text == QLatin1String("heavy"))
        *value = RAIN_HEAVY;
    else
        return seconds(text, value);
    return true;
}

enum { OPTION_OK, OPTION_BAD_VALUE, OPTION_UNKNOWN };

// Applies an option of one camera's settings.
int cameraOption(const QString& name, const QString& value, simulatorSettings* s) {
    bool ok = true;
    if (name == QLatin1String("control"))
        s->controlDir = value;
    else if (name == QLatin1String("input"))
        s->inputDir = value;
    else if (name == QLatin1String("verbose"))
        s->verbose = true;
    else if (name == QLatin1String("keep-commands"))
        s->keepCommands = true;
    else if (name == QLatin1String("capital-names"))
        s->capitalNames = true;
    else if (name == QLatin1String("seed"))
        s->seed = value.toULongLong(&ok);
    else if (name == QLatin1String("rain"))
        ok = rainRate(value, &s->rain);
    else if (name == QLatin1String("file-interval"))
        ok = seconds(value, &s->fileInterval) && s->fileInterval > 0.0;
    else if (name == QLatin1String("frames"))
        ok = count(value, &s->frameLimit);
    else if (name == QLatin1String("log-interval"))
        ok = seconds(value, &s->logInterval);
    else if (name == QLatin1String("norm-delay"))
        ok = milliseconds(value, &s->normDelayMs);
    else if (name == QLatin1String("reboot-offline"))
        ok = milliseconds(value, &s->rebootOfflineMs);
    else if (name == QLatin1String("silent-after"))
        ok = seconds(value, &s->silentAfter);
    else if (name == QLatin1String("garbage-at"))
        ok = seconds(value, &s->garbageAt);
    else if (name == QLatin1String("redeliver-at"))
        ok = seconds(value, &s->redeliverAt);
    else if (name == QLatin1String("disconnect-at"))
        ok = seconds(value, &s->disconnectAt);
    else if (name == QLatin1String("keep-par-after"))
        ok = seconds(value, &s->keepParametersAfter);
    else if (name == QLatin1String("par-copy"))
        s->parCopyDir = value;
    else
        return OPTION_UNKNOWN;
    return ok ? OPTION_OK : OPTION_BAD_VALUE;
}

} // namespace

const char* simUsage() {
    return USAGE;
}

bool parseSimCommandLine(const QStringList& args, simCommandLine* line) {
    for (int c = 0; c < 2; ++c)
        line->cameras[c].camera = c == 0 ? CAM_A : CAM_B;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            line->help = true;
            return true;
        }
        if (arg == QLatin1String("--version")) {
            line->version = true;
            return true;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            line->error = QStringLiteral("unexpected argument %1").arg(arg);
            return false;
        }
        QString name = arg.mid(2);
        QString value;
        bool hasValue = false;
        int equals = name.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
            hasValue = true;
        }
        bool scope[2];
        cameraScope(&name, scope);
        bool scoped = !(scope[0] && scope[1]);

        bool flag = name == QLatin1String("verbose") || name == QLatin1String("keep-commands") ||
                    name == QLatin1String("capital-names");
        if (flag && hasValue) {
            line->error = QStringLiteral("%1 takes no value").arg(arg);
            return false;
        }
        if (!flag && !hasValue) {
            if (i + 1 >= args.size()) {
                line->error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            value = args[++i];
        }

        int result = OPTION_OK;
        if (!scoped && name == QLatin1String("seconds"))
            result = seconds(value, &line->seconds) ? OPTION_OK : OPTION_BAD_VALUE;
        else if (!scoped && name == QLatin1String("step"))
            result = milliseconds(value, &line->stepMs) && line->stepMs > 0 ? OPTION_OK
                                                                            : OPTION_BAD_VALUE;
        else if (!scoped && name == QLatin1String("frame-log"))
            line->frameLogPath = value;
        else if (!scoped && (name == QLatin1String("control") || name == QLatin1String("input")))
            result = OPTION_UNKNOWN; // a directory belongs to one camera
        else {
            for (int c = 0; c < 2 && result == OPTION_OK; ++c) {
                if (scope[c])
                    result = cameraOption(name, value, &line->cameras[c]);
            }
        }
        if (result == OPTION_UNKNOWN) {
            line->error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        }
        if (result == OPTION_BAD_VALUE) {
            line->error = QStringLiteral("bad value %1 of %2").arg(value, arg);
            return false;
        }
    }

    for (int c = 0; c < 2; ++c) {
        const simulatorSettings& s = line->cameras[c];
        if (s.controlDir.isEmpty() != s.inputDir.isEmpty()) {
            line->error = QStringLiteral("camera %1 needs both its control and its input directory")
                              .arg(QLatin1Char(c == 0 ? 'A' : 'B'));
            return false;
        }
        line->play[c] = !s.controlDir.isEmpty();
    }
    if (!line->play[0] && !line->play[1]) {
        line->error = QStringLiteral("no camera to play: give --a-control and --a-input, or "
                                     "--b-control and --b-input");
        return false;
    }
    return true;
}
