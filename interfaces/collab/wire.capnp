@0xbe6859830793f1bb;
# The room wire: every message a participant and the broker exchange. One Envelope per frame, in
# Cap'n Proto's standard stream framing over a Unix stream socket. A frame above 256 MiB is refused.
# This file is the single source of the wire; interfaces/collab/codec.h maps it to plain C++ records.
#
# Who sets what:
#   target  set by the sender: the room (the broker decides by kind) or one route.
#   sender  set by the broker on delivery (whatever a participant put there is ignored).

$import "/capnp/c++.capnp".namespace("pelto::collab::wire");

enum Role {
  agent @0;        # a participant without a window
  application @1;  # an application holding documents (serves them on request)
  person @2;       # someone typing in the room
  host @3;         # an action host or launcher speaking for the workspace session
}

# Where a document lives: the app, the room (a workspace UUID, 16 bytes) and, for a saved file,
# its record ("file:<path>"). No record is an untitled document.
struct Route {
  app @0 :Text;
  room @1 :Data;
  record :union {
    untitled @2 :Void;
    named @3 :Text;
  }
}

struct Sender {
  connectionId @0 :Text;
  role @1 :Role;
  route @2 :Route;
}

struct Envelope {
  target :union {
    room @0 :Void;
    route @1 :Route;
  }
  sender :union {
    none @2 :Void;
    participant @3 :Sender;
  }
  body @4 :Body;
}

struct Body {
  union {
    hello @0 :Hello;
    join @1 :Join;
    documentRequest @2 :Void;          # "send me the document of my route"; also used to ask again
    documentWanted @3 :DocumentWanted; # a participant's request naming app and record
    documentMutation @4 :DocumentMutation;
    presenceAnnounce @5 :PresenceAnnounce;
    actionStarted @6 :ActionStarted;
    caretPosition @7 :CaretPosition;
    actionFinished @8 :ActionFinished;
    catalogueRequest @9 :Void;
    cataloguePublish @10 :CataloguePublish;
    catalogueReply @11 :CatalogueReply;
    actionRequest @12 :ActionRequest;
    admission @13 :Admission;
    statusQuery @14 :StatusQuery;
    actionStatus @15 :ActionStatus;
    cancelRequest @16 :CancelRequest;
    cancellationQuery @17 :CancellationQuery;
    cancellationStatus @18 :CancellationStatus;
    taskRun @19 :TaskRun;
    taskRunStatus @20 :TaskRunStatus;
  }
}

# First message of every connection.
struct Hello {
  role @0 :Role;
  connectionId @1 :Text;
  route @2 :Route;
  signingKey :union {
    none @3 :Void;
    key @4 :Data;
  }
}

struct Join {
  room @0 :Data;  # 16 bytes
}

struct DocumentWanted {
  app @0 :Text;
  record :union {
    untitled @1 :Void;
    named @2 :Text;
  }
}

# The mutation is opaque bytes of the CRDT engine: a whole saved document or one incremental change.
# `missing` (the default) is a mutation event that lost its payload.
struct DocumentMutation {
  union {
    missing @0 :Void;
    snapshot @1 :Data;
    change @2 :Data;
  }
}

struct PresenceAnnounce {
  roomText @0 :Text;  # the room id, hyphenated lower case
}

struct ActionStarted {
  invocation @0 :Text;
  runContextJson @1 :Text;  # the ActionContext of the run as JSON; empty when none
  name @2 :Text;            # who acts (the agent's name)
  resourceId @3 :Text;
  resourceLabel @4 :Text;
}

struct CaretPosition {
  name @0 :Text;
  blockId @1 :Text;
  offset @2 :UInt64;  # characters into the block's text
}

struct ActionFinished {
  invocation @0 :Text;
}

# One published operation. `providerRoom` is set by the broker in replies (the decimal number of
# the publishing participant's room); `descriptorJson` is the action framework's descriptor, opaque
# to the broker, which routes action requests by resource id and action id.
struct CatalogueEntry {
  providerRoom @0 :Text;
  app @1 :Text;
  resourceId @2 :Text;
  actionId @3 :Text;
  descriptorJson @4 :Text;
}

struct CataloguePublish {
  entries @0 :List(CatalogueEntry);  # replaces what this participant published before
}

struct CatalogueReply {
  union {
    entries @0 :List(CatalogueEntry);
    refusal @1 :Text;
  }
}

struct ActionRequest {
  invocation @0 :Text;
  providerRoom @1 :Text;
  resourceId @2 :Text;
  actionId @3 :Text;
  argumentsJson @4 :Text;
  contextJson @5 :Text;
}

struct Admission {
  invocation @0 :Text;
  union {
    admitted @1 :Void;
    refused @2 :Text;
  }
}

struct StatusQuery {
  invocation @0 :Text;
}

enum ActionState {
  unknown @0;  # the host no longer knows the invocation
  pending @1;
  running @2;
  completed @3;
  failed @4;
  cancelled @5;
}

struct ActionStatus {
  invocation @0 :Text;
  state @1 :ActionState;
  outputJson @2 :Text;
  message @3 :Text;
}

struct CancelRequest {
  invocation @0 :Text;
}

struct CancellationQuery {
  runId @0 :Text;
}

struct CancellationStatus {
  runId @0 :Text;
  cancelled @1 :Bool;
}

# A task lease minted for a participant. Values travel as given; the receiver validates them.
struct TaskRun {
  version @0 :UInt16;
  runId @1 :Text;
  id @2 :Text;
  title @3 :Text;
  lease @4 :UInt32;
  modelPlanning @5 :Bool;
  actionContextJson @6 :Text;
}

# The order of the enumerants is the status code reported (accepted 0 ... cancelled 4).
enum TaskStatus {
  accepted @0;
  working @1;
  completed @2;
  failed @3;
  cancelled @4;
}

struct TaskRunStatus {
  runId @0 :Text;
  status @1 :TaskStatus;
  text @2 :Text;
}
