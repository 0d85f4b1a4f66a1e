#pragma once

class QApplication;

// The program speaks only Simplified Chinese: under a system locale of
// another language (C.UTF-8 in containers and under xvfb-run) the dates and
// times are still Chinese (China), and the Simplified Chinese face of the CJK
// font is preferred, so that Chinese punctuation keeps its Chinese forms.
// A Chinese system locale keeps its own formats.
void UseChineseLocale(QApplication &app);
