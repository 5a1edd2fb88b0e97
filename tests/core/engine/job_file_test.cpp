// SPDX-License-Identifier: GPL-3.0-or-later
// Job files: what a written job reads back as, each fault with its line, and the
// board's rails against the job's.

#include <gtest/gtest.h>

#include <string>

#include "core/engine/job_file.h"

namespace corvanel {
namespace {

const std::string kDigest(64, 'a');

TEST(JobFileTest, AWrittenJobReadsBackAsItWas) {
    JobFile job;
    job.model = "PIC16F628A";
    job.hex = "build/fw 2.hex";
    job.sha256 = kDigest;
    job.memories = RegionSelection{true, false, true, true};
    job.serial = "1000:2@E:10/2";
    job.log = "logs/fw.csv";
    job.vdd = VoltRange{4.75, 5.25};
    job.vpp = VoltRange{12.35, 13.65};
    job.repeat = false;
    const JobParseResult back = parse_job_text(job_text(job), "fw.corvanel-job");
    ASSERT_TRUE(back.job) << back.error;
    EXPECT_EQ(*back.job, job);

    // The least a job holds, with CR LF line ends, blanks and comments.
    const JobParseResult least = parse_job_text(
        "# bench 3\r\n\r\n  model:PIC16F84A  \r\nhex: a.hex\r\nsha256: " + std::string(64, 'F') +
            "\r\n",
        "least.corvanel-job");
    ASSERT_TRUE(least.job) << least.error;
    EXPECT_EQ(least.job->model, "PIC16F84A");
    EXPECT_EQ(least.job->sha256, std::string(64, 'f'));
    EXPECT_TRUE(least.job->memories.all());
    EXPECT_TRUE(least.job->repeat);
    EXPECT_FALSE(least.job->vdd || least.job->vpp);
}

TEST(JobFileTest, EachFaultNamesItsLine) {
    const std::string head = "model: PIC16F628A\nhex: fw.hex\nsha256: " + kDigest + "\n";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {head + "memories: flash,rom\n", "j:4: memories must be"},
        {head + "serial: 12@X:0\n", "j:4: serial 12@X:0: "},
        {head + "vdd: 5\n", "j:4: vdd must be a range of volts"},
        {head + "vpp: 13.5-12.5\n", "j:4: vpp must be a range of volts"},
        {head + "repeat: maybe\n", "j:4: repeat must be yes or no"},
        {head + "speed: 9600\n", "j:4: unknown key \"speed\""},
        {head + "\n# again\nmodel: PIC16F84A\n", "j:6: \"model:\" given again (first on line 1)"},
        {head + "log:\n", "j:4: \"log:\" has no value"},
        {head + "just words\n", "j:4: not \"key: value\""},
        {"model: PIC16F628A\nhex: fw.hex\nsha256: " + kDigest.substr(1) + "\n",
         "j:3: sha256 must be 64 hexadecimal digits"},
        {"model: PIC16F628A\nhex: fw.hex\nsha256: " + kDigest.substr(1) + "g\n",
         "j:3: sha256 must be 64 hexadecimal digits"},
        {"model: PIC16F628A\nsha256: " + kDigest + "\n", "j: no \"hex:\" line"},
    };
    for (const auto& c : cases) {
        const JobParseResult parsed = parse_job_text(c.text, "j");
        EXPECT_FALSE(parsed.job) << c.text;
        EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << parsed.error;
    }
}

TEST(JobFileTest, RailsOutsideTheJobOrUnknownAreRefused) {
    JobFile job;
    job.vdd = VoltRange{4.75, 5.25};
    job.vpp = VoltRange{12.35, 13.65};
    EXPECT_EQ(job_rails_refusal(job, 5.0, 13.0), "");
    EXPECT_EQ(job_rails_refusal(job, 4.75, 13.65), "");  // the ends belong to the range
    EXPECT_EQ(job_rails_refusal(job, 3.3, 13.0),
              "The board's Vdd reads 3.30 V; the job expects 4.75-5.25 V.");
    EXPECT_EQ(job_rails_refusal(job, 5.0, 8.7),
              "The board's Vpp reads 8.70 V; the job expects 12.35-13.65 V.");
    EXPECT_EQ(job_rails_refusal(job, 5.0, std::nullopt),
              "The board does not report its Vpp; the job expects 12.35-13.65 V.");
    EXPECT_EQ(job_rails_refusal(JobFile{}, std::nullopt, std::nullopt), "");
}

}  // namespace
}  // namespace corvanel
