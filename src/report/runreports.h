// The writers a front end subscribes to a run's reports: the events
// (--events FILE, "-" for a given stream) and the run record (--record
// FILE), behind one observer for the dialog's logic.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "firmware/imageset.h"
#include "report/eventswriter.h"
#include "report/lineoutput.h"
#include "report/observerlist.h"
#include "report/packagefacts.h"
#include "report/recordwriter.h"

namespace tw {

struct ReportOptions {
  std::string strEvents;  // empty: none; "-": the events stream
  std::string strRecord;  // empty: none
};

class CRunReports {
 public:
  // dash: the stream "-" names; onError: where write failures are told.
  CRunReports(ReportOptions options, std::FILE* dash, CLineOutput::ErrorSink onError);
  // Opens the events file (the record file is opened per record). False
  // with the reason when it cannot be opened.
  bool Open(std::string* error);
  // The window: a record writer even without --record, so that a record
  // file can be chosen later (SetRecordFile). Before Open.
  void AllowRecordChoice() { m_bRecordChoice = true; }
  // The record file for the runs that end from now on; empty: none.
  void SetRecordFile(const std::string& path);
  std::string RecordFile() const;
  // The firmware the records describe; before the first run.
  void AttachImages(const CImageSet& images, std::string packagePath);
  // A subscriber beside the writers (the headless view's failure line).
  void Add(IRunObserver* pObserver) { m_list.Add(pObserver); }
  // What the dialog's logic reports to: null when nothing listens.
  IRunObserver* Observer() { return m_list.Empty() ? nullptr : &m_list; }

 private:
  PackageFacts Describe(bool bImages);

  ReportOptions m_options;
  std::FILE* m_pDash;
  CLineOutput::ErrorSink m_onError;
  CLineOutput m_eventsOut;
  std::unique_ptr<CEventsWriter> m_pEvents;
  std::unique_ptr<CRecordWriter> m_pRecord;
  std::unique_ptr<CPackageDescriber> m_pDescriber;
  CObserverList m_list;
  bool m_bRecordChoice = false;
};

}  // namespace tw
