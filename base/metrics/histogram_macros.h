// Adding samples from a fixed call site. Each macro asks the factory once
// per call site and keeps the histogram in a function-local static, so the
// name must be the same on every pass through the site (use the factories
// directly for names built at run time).

#ifndef BASE_METRICS_HISTOGRAM_MACROS_H_
#define BASE_METRICS_HISTOGRAM_MACROS_H_

#include <atomic>

#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/metrics/sparse_histogram.h"

// Runs |factory| once per call site and adds |sample| to its result. A null
// result (a clash of layouts under one name) drops the sample.
#define INTERNAL_HISTOGRAM_ADD(factory, sample)                               \
  do {                                                                        \
    static std::atomic<::base::HistogramBase*> velna_histogram_site{};        \
    ::base::HistogramBase* velna_histogram =                                  \
        velna_histogram_site.load(std::memory_order_acquire);                 \
    if (!velna_histogram) {                                                   \
      velna_histogram = (factory);                                            \
      velna_histogram_site.store(velna_histogram, std::memory_order_release); \
    }                                                                         \
    if (velna_histogram)                                                      \
      velna_histogram->Add(                                                   \
          static_cast<::base::HistogramBase::Sample>(sample));                \
  } while (false)

// An enumeration with values 0 .. |boundary| - 1: a linear histogram of
// maximum |boundary| with |boundary| + 1 buckets, meant for reporting.
#define HISTOGRAM_ENUMERATION(name, sample, boundary)               \
  INTERNAL_HISTOGRAM_ADD(                                           \
      ::base::LinearHistogram::FactoryGet(                          \
          name, 1, boundary, static_cast<uint32_t>((boundary) + 1), \
          ::base::HistogramBase::kUmaTargetedFlag),                 \
      sample)

// Counts in exponential buckets from |minimum| to |maximum|.
#define HISTOGRAM_CUSTOM_COUNTS(name, sample, minimum, maximum, buckets)      \
  INTERNAL_HISTOGRAM_ADD(                                                     \
      ::base::Histogram::FactoryGet(name, minimum, maximum, buckets,          \
                                    ::base::HistogramBase::kUmaTargetedFlag), \
      sample)

// One count per distinct value.
#define HISTOGRAM_SPARSE(name, sample) \
  INTERNAL_HISTOGRAM_ADD(::base::SparseHistogram::FactoryGet(name, 0), sample)

#endif  // BASE_METRICS_HISTOGRAM_MACROS_H_
