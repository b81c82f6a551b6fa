/* A strict JSON parser (RFC 8259) for the end-to-end tests: it reads a whole
 * document into a tree of nodes, or rejects it with the offset and reason.
 * Strict where a writer can go wrong: no trailing commas, no leading zeros,
 * no unescaped control characters in strings, well-formed UTF-8 only, \u
 * escapes of surrogates only as a high-low pair, no duplicate names in an
 * object, nothing but white space after the value. Strings are kept decoded
 * as UTF-8 (a \u0000 is kept too: each string has its length). */
#ifndef E2E_JSON_H
#define E2E_JSON_H

#include <stdlib.h>
#include <string.h>

typedef enum { JSON_NULL, JSON_FALSE, JSON_TRUE, JSON_NUMBER, JSON_STRING, JSON_ARRAY, JSON_OBJECT } JsonType;

typedef struct JsonNode {
  JsonType type;
  int key, keyLength;    /* an object member's name in the text pool, else -1 */
  int text, length;      /* a string's decoded UTF-8 in the text pool */
  double number;
  int integral;          /* a number without fraction or exponent that fits 64 bits */
  int negative;
  unsigned long long integer;
  int first, next, count; /* children of an array or object, in document order */
} JsonNode;

typedef struct JsonDoc {
  JsonNode *nodes;
  int maxNodes, used;
  char *text;
  int maxText, textUsed;
  const char *in;
  size_t size, pos;
  const char *error;
  size_t errorAt;
} JsonDoc;

enum { JSON_MAX_DEPTH = 64 };

static int json_init(JsonDoc *d, int maxNodes, int maxText) {
  memset(d, 0, sizeof(*d));
  d->nodes = (JsonNode *)malloc(sizeof(JsonNode) * (size_t)maxNodes);
  d->text = (char *)malloc((size_t)maxText);
  d->maxNodes = maxNodes;
  d->maxText = maxText;
  return d->nodes != NULL && d->text != NULL;
}

static int json_fail(JsonDoc *d, const char *why) {
  if (d->error == NULL) {
    d->error = why;
    d->errorAt = d->pos;
  }
  return -1;
}

static int json_new(JsonDoc *d, JsonType type) {
  JsonNode *n;
  if (d->used == d->maxNodes) return json_fail(d, "too many nodes");
  n = &d->nodes[d->used];
  memset(n, 0, sizeof(*n));
  n->type = type;
  n->key = n->text = n->first = n->next = -1;
  return d->used++;
}

static int json_put(JsonDoc *d, unsigned char c) {
  if (d->textUsed == d->maxText) return json_fail(d, "text pool full");
  d->text[d->textUsed++] = (char)c;
  return 0;
}

static int json_put_utf8(JsonDoc *d, unsigned long cp) {
  if (cp < 0x80) return json_put(d, (unsigned char)cp);
  if (cp < 0x800) {
    if (json_put(d, (unsigned char)(0xC0 | cp >> 6)) < 0) return -1;
  } else if (cp < 0x10000) {
    if (json_put(d, (unsigned char)(0xE0 | cp >> 12)) < 0) return -1;
    if (json_put(d, (unsigned char)(0x80 | (cp >> 6 & 0x3F))) < 0) return -1;
  } else {
    if (json_put(d, (unsigned char)(0xF0 | cp >> 18)) < 0) return -1;
    if (json_put(d, (unsigned char)(0x80 | (cp >> 12 & 0x3F))) < 0) return -1;
    if (json_put(d, (unsigned char)(0x80 | (cp >> 6 & 0x3F))) < 0) return -1;
  }
  return json_put(d, (unsigned char)(0x80 | (cp & 0x3F)));
}

static int json_peek(const JsonDoc *d) { return d->pos < d->size ? (unsigned char)d->in[d->pos] : -1; }

static void json_ws(JsonDoc *d) {
  int c;
  while ((c = json_peek(d)) == ' ' || c == '\t' || c == '\n' || c == '\r') ++d->pos;
}

static int json_hex4(JsonDoc *d, unsigned long *value) {
  int i;
  *value = 0;
  for (i = 0; i < 4; ++i) {
    int c = json_peek(d), v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else return json_fail(d, "\\u needs four hex digits");
    *value = *value << 4 | (unsigned long)v;
    ++d->pos;
  }
  return 0;
}

/* One UTF-8 sequence of the input, checked and copied: no overlong form, no
 * surrogate, nothing above U+10FFFF. */
static int json_utf8(JsonDoc *d) {
  unsigned char lead = (unsigned char)d->in[d->pos];
  unsigned char lo = 0x80, hi = 0xBF;
  int n, i;
  if (lead >= 0xC2 && lead <= 0xDF) n = 1;
  else if (lead >= 0xE0 && lead <= 0xEF) n = 2, lo = lead == 0xE0 ? 0xA0 : 0x80, hi = lead == 0xED ? 0x9F : 0xBF;
  else if (lead >= 0xF0 && lead <= 0xF4) n = 3, lo = lead == 0xF0 ? 0x90 : 0x80, hi = lead == 0xF4 ? 0x8F : 0xBF;
  else return json_fail(d, "byte that starts no UTF-8 sequence");
  if (json_put(d, lead) < 0) return -1;
  ++d->pos;
  for (i = 0; i < n; ++i) {
    int c = json_peek(d);
    if (c < (i == 0 ? lo : 0x80) || c > (i == 0 ? hi : 0xBF)) return json_fail(d, "malformed UTF-8");
    if (json_put(d, (unsigned char)c) < 0) return -1;
    ++d->pos;
  }
  return 0;
}

/* A string at the input position into the text pool: its offset and length. */
static int json_string(JsonDoc *d, int *offset, int *length) {
  if (json_peek(d) != '"') return json_fail(d, "string expected");
  ++d->pos;
  *offset = d->textUsed;
  for (;;) {
    int c = json_peek(d);
    if (c < 0) return json_fail(d, "unterminated string");
    if (c == '"') {
      ++d->pos;
      *length = d->textUsed - *offset;
      return json_put(d, 0); /* a terminator after the length, for convenience */
    }
    if (c < 0x20) return json_fail(d, "control character in a string");
    if (c >= 0x80) {
      if (json_utf8(d) < 0) return -1;
      continue;
    }
    ++d->pos;
    if (c != '\\') {
      if (json_put(d, (unsigned char)c) < 0) return -1;
      continue;
    }
    c = json_peek(d);
    ++d->pos;
    switch (c) {
      case '"': case '\\': case '/': if (json_put(d, (unsigned char)c) < 0) return -1; break;
      case 'b': if (json_put(d, '\b') < 0) return -1; break;
      case 'f': if (json_put(d, '\f') < 0) return -1; break;
      case 'n': if (json_put(d, '\n') < 0) return -1; break;
      case 'r': if (json_put(d, '\r') < 0) return -1; break;
      case 't': if (json_put(d, '\t') < 0) return -1; break;
      case 'u': {
        unsigned long cp, low;
        if (json_hex4(d, &cp) < 0) return -1;
        if (cp >= 0xDC00 && cp <= 0xDFFF) return json_fail(d, "lone low surrogate");
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          if (json_peek(d) != '\\' || d->pos + 1 >= d->size || d->in[d->pos + 1] != 'u')
            return json_fail(d, "high surrogate without its low half");
          d->pos += 2;
          if (json_hex4(d, &low) < 0) return -1;
          if (low < 0xDC00 || low > 0xDFFF) return json_fail(d, "high surrogate without its low half");
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
        if (json_put_utf8(d, cp) < 0) return -1;
        break;
      }
      default:
        --d->pos;
        return json_fail(d, "unknown escape");
    }
  }
}

static int json_digits(JsonDoc *d) {
  int n = 0;
  while (json_peek(d) >= '0' && json_peek(d) <= '9') ++d->pos, ++n;
  return n;
}

static int json_number(JsonDoc *d) {
  size_t start = d->pos;
  int node, fraction = 0;
  char token[64];
  if (json_peek(d) == '-') ++d->pos;
  if (json_peek(d) == '0') {
    ++d->pos;
    if (json_peek(d) >= '0' && json_peek(d) <= '9') return json_fail(d, "leading zero");
  } else if (json_digits(d) == 0) {
    return json_fail(d, "digit expected");
  }
  if (json_peek(d) == '.') {
    ++d->pos;
    fraction = 1;
    if (json_digits(d) == 0) return json_fail(d, "digit expected after the point");
  }
  if (json_peek(d) == 'e' || json_peek(d) == 'E') {
    ++d->pos;
    fraction = 1;
    if (json_peek(d) == '+' || json_peek(d) == '-') ++d->pos;
    if (json_digits(d) == 0) return json_fail(d, "digit expected in the exponent");
  }
  if (d->pos - start >= sizeof(token)) return json_fail(d, "number too long for this parser");
  if ((node = json_new(d, JSON_NUMBER)) < 0) return -1;
  memcpy(token, d->in + start, d->pos - start);
  token[d->pos - start] = 0;
  d->nodes[node].number = strtod(token, NULL);
  d->nodes[node].negative = token[0] == '-';
  if (!fraction) {
    const char *p = token + d->nodes[node].negative;
    unsigned long long v = 0;
    int fits = 1;
    for (; *p; ++p) {
      if (v > (~0ULL - 9) / 10) fits = 0;
      v = v * 10 + (unsigned)(*p - '0');
    }
    d->nodes[node].integral = fits;
    d->nodes[node].integer = v;
  }
  return node;
}

static int json_literal(JsonDoc *d, const char *word, JsonType type) {
  size_t n = strlen(word);
  if (d->size - d->pos < n || memcmp(d->in + d->pos, word, n) != 0) return json_fail(d, "unknown literal");
  d->pos += n;
  return json_new(d, type);
}

static int json_value(JsonDoc *d, int depth);

/* The members or items of an object or array, after its opening bracket. */
static int json_container(JsonDoc *d, JsonType type, int depth) {
  const int close = type == JSON_OBJECT ? '}' : ']';
  int node = json_new(d, type), last = -1;
  if (node < 0) return -1;
  if (depth > JSON_MAX_DEPTH) return json_fail(d, "nested too deeply");
  ++d->pos;
  json_ws(d);
  if (json_peek(d) == close) {
    ++d->pos;
    return node;
  }
  for (;;) {
    int key = -1, keyLength = 0, child, other;
    if (type == JSON_OBJECT) {
      if (json_string(d, &key, &keyLength) < 0) return -1;
      for (other = d->nodes[node].first; other >= 0; other = d->nodes[other].next)
        if (d->nodes[other].keyLength == keyLength && memcmp(d->text + d->nodes[other].key, d->text + key, keyLength) == 0)
          return json_fail(d, "duplicate name in an object");
      json_ws(d);
      if (json_peek(d) != ':') return json_fail(d, "':' expected");
      ++d->pos;
      json_ws(d);
    }
    if ((child = json_value(d, depth + 1)) < 0) return -1;
    d->nodes[child].key = key;
    d->nodes[child].keyLength = keyLength;
    if (last < 0) d->nodes[node].first = child;
    else d->nodes[last].next = child;
    last = child;
    ++d->nodes[node].count;
    json_ws(d);
    if (json_peek(d) == close) {
      ++d->pos;
      return node;
    }
    if (json_peek(d) != ',') return json_fail(d, type == JSON_OBJECT ? "',' or '}' expected" : "',' or ']' expected");
    ++d->pos;
    json_ws(d);
  }
}

static int json_value(JsonDoc *d, int depth) {
  int node;
  switch (json_peek(d)) {
    case '{': return json_container(d, JSON_OBJECT, depth);
    case '[': return json_container(d, JSON_ARRAY, depth);
    case '"':
      if ((node = json_new(d, JSON_STRING)) < 0) return -1;
      return json_string(d, &d->nodes[node].text, &d->nodes[node].length) < 0 ? -1 : node;
    case 't': return json_literal(d, "true", JSON_TRUE);
    case 'f': return json_literal(d, "false", JSON_FALSE);
    case 'n': return json_literal(d, "null", JSON_NULL);
    case -1: return json_fail(d, "value expected, end of text");
    default:
      if (json_peek(d) == '-' || (json_peek(d) >= '0' && json_peek(d) <= '9')) return json_number(d);
      return json_fail(d, "value expected");
  }
}

/* Parses size bytes at in; returns the root node, or -1 with d->error and
 * d->errorAt set. The document must stay alive while its nodes are read. */
static int json_parse(JsonDoc *d, const char *in, size_t size) {
  int root;
  d->used = d->textUsed = 0;
  d->in = in;
  d->size = size;
  d->pos = 0;
  d->error = NULL;
  json_ws(d);
  root = json_value(d, 0);
  if (root < 0) return -1;
  json_ws(d);
  if (d->pos != d->size) return json_fail(d, "text after the value");
  return root;
}

/* The member of object `node` named key, or -1. */
static int json_member(const JsonDoc *d, int node, const char *key) {
  int c;
  size_t n = strlen(key);
  if (node < 0 || d->nodes[node].type != JSON_OBJECT) return -1;
  for (c = d->nodes[node].first; c >= 0; c = d->nodes[c].next)
    if ((size_t)d->nodes[c].keyLength == n && memcmp(d->text + d->nodes[c].key, key, n) == 0) return c;
  return -1;
}

/* Item i of array `node`, or -1. */
static int json_item(const JsonDoc *d, int node, int i) {
  int c;
  if (node < 0 || d->nodes[node].type != JSON_ARRAY) return -1;
  for (c = d->nodes[node].first; c >= 0 && i > 0; c = d->nodes[c].next) --i;
  return c;
}

static JsonType json_type(const JsonDoc *d, int node) { return node < 0 ? (JsonType)-1 : d->nodes[node].type; }

/* A string node's text (NUL-terminated; its length says whether it holds a NUL). */
static const char *json_text(const JsonDoc *d, int node) {
  return node >= 0 && d->nodes[node].type == JSON_STRING ? d->text + d->nodes[node].text : NULL;
}

/* A non-negative integer node's value, or -1 for anything else. */
static long long json_uint(const JsonDoc *d, int node) {
  if (node < 0 || d->nodes[node].type != JSON_NUMBER || !d->nodes[node].integral || d->nodes[node].negative ||
      d->nodes[node].integer > 0xFFFFFFFFULL)
    return -1;
  return (long long)d->nodes[node].integer;
}

#endif
