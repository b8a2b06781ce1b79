// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The seams tests (and the screenshot tool) use with the UI kit:
//  - MessageBoxRecorder: records each message box (icon, text, buttons,
//    flags) and answers it from a script, so no test blocks on a modal box;
//  - ModalDialogAnswerer: answers a real modal dialog from a timer;
//  - ScriptedWorker: a worker thread that plays progress steps, a success,
//    an error or a wait for the cancel against any IWorkerReporter;
//  - setErrorReportHook: observes the error reports the error box sends.

#include "kit/errorreport.h"
#include "messageboxrecorder.h"
#include "modaldialoganswerer.h"
#include "scriptedworker.h"
#include "kit/stylesheet.h"
