package xmlpellor.saxon;

import java.io.BufferedInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.io.Reader;
import java.net.URI;
import java.net.URISyntaxException;
import java.nio.charset.Charset;
import java.nio.charset.CodingErrorAction;
import java.util.Arrays;
import java.util.Iterator;
import javax.xml.transform.Source;
import javax.xml.transform.TransformerException;
import javax.xml.transform.URIResolver;
import javax.xml.transform.stream.StreamResult;
import javax.xml.transform.stream.StreamSource;
import net.sf.saxon.Configuration;
import net.sf.saxon.event.Receiver;
import net.sf.saxon.expr.XPathContext;
import net.sf.saxon.functions.ResolveURI;
import net.sf.saxon.lib.CollectionFinder;
import net.sf.saxon.lib.Resource;
import net.sf.saxon.lib.ResourceCollection;
import net.sf.saxon.lib.ResultDocumentResolver;
import net.sf.saxon.lib.StandardUnparsedTextResolver;
import net.sf.saxon.lib.UnparsedTextURIResolver;
import net.sf.saxon.om.Item;
import net.sf.saxon.om.SpaceStrippingRule;
import net.sf.saxon.serialize.SerializationProperties;
import net.sf.saxon.trans.XPathException;
import org.xml.sax.EntityResolver;
import org.xml.sax.InputSource;

/**
 * Every way Saxon reads or writes a file, in one place: stylesheet modules, doc() and document(),
 * unparsed-text() and json-doc(), collection(), the XML parser's DTDs and entities, and
 * xsl:result-document. Left to itself Saxon would open URLs of any scheme; here each read is
 * handed to the engine's process, which applies the job's read policy; a result document goes to
 * the process too, which keeps it to hand back beside the output, and nothing is written here.
 */
final class Reads
    implements URIResolver,
        UnparsedTextURIResolver,
        EntityResolver,
        CollectionFinder,
        ResultDocumentResolver {

  static String absolute(String href, String base) throws IOException {
    try {
      URI uri = ResolveURI.makeAbsolute(href, base);
      // A fragment names a part of the file, not another file.
      return new URI(uri.getScheme(), uri.getSchemeSpecificPart(), null).toString();
    } catch (URISyntaxException e) {
      throw new IOException("Not a URI: " + href);
    }
  }

  static StreamSource open(String uri, boolean document) throws IOException {
    String resolved = Host.catalog(null, uri);
    return new StreamSource(new NativeInput(Host.open(resolved, document)), resolved);
  }

  @Override
  public Source resolve(String href, String base) throws TransformerException {
    try {
      return open(absolute(href, base), false);
    } catch (IOException e) {
      // Saxon says its own words for a plain TransformerException, and this one's for its own.
      throw new XPathException(e.getMessage(), "FODC0002");
    }
  }

  @Override
  public Reader resolve(URI uri, String encoding, Configuration config) throws XPathException {
    try {
      InputStream in =
          new BufferedInputStream(
              new NativeInput(Host.open(Host.catalog(null, uri.toString()), false)));
      if (encoding == null) {
        encoding = StandardUnparsedTextResolver.inferStreamEncoding(in, null);
        if (encoding == null) encoding = "UTF-8";
      }
      // A byte that is no character of the encoding is an error, not a replacement character.
      return new InputStreamReader(
          in,
          Charset.forName(encoding)
              .newDecoder()
              .onMalformedInput(CodingErrorAction.REPORT)
              .onUnmappableCharacter(CodingErrorAction.REPORT));
    } catch (IOException e) {
      throw new XPathException(e.getMessage(), "FOUT1170");
    } catch (IllegalArgumentException e) {
      throw new XPathException("Unknown encoding " + encoding, "FOUT1190");
    }
  }

  @Override
  public InputSource resolveEntity(String publicId, String systemId) throws IOException {
    // Named by where the catalog led, so that what the file refers to resolves from there.
    String resolved = Host.catalog(publicId, systemId);
    InputSource source = new InputSource(new NativeInput(Host.open(resolved, false)));
    source.setSystemId(resolved);
    source.setPublicId(publicId);
    return source;
  }

  @Override
  public ResourceCollection findCollection(XPathContext context, String collectionUri)
      throws XPathException {
    String[] uris;
    try {
      uris = collectionUri == null ? new String[0] : Host.collection(collectionUri);
    } catch (IOException e) {
      throw new XPathException(e.getMessage(), "FODC0002");
    }
    return new Collection(collectionUri, uris, this);
  }

  @Override
  public Receiver resolve(
      XPathContext context, String href, String baseUri, SerializationProperties properties)
      throws XPathException {
    int document;
    try {
      document = Host.openDocument(href);
    } catch (IOException e) {
      throw new XPathException(e.getMessage());
    }
    StreamResult result = new StreamResult(new DocumentOutput(document));
    result.setSystemId(absoluteOrHref(href, baseUri));
    return context.getConfiguration().getSerializerFactory().getReceiver(result, properties);
  }

  private static String absoluteOrHref(String href, String base) {
    try {
      return absolute(href, base);
    } catch (IOException | IllegalArgumentException e) {
      return href;
    }
  }

  /** A result document's bytes, kept by the engine's process until the output is written. */
  private static final class DocumentOutput extends OutputStream {
    private final int document;

    DocumentOutput(int document) {
      this.document = document;
    }

    @Override
    public void write(int b) throws IOException {
      write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public void write(byte[] buffer, int offset, int length) throws IOException {
      Host.writeDocument(document, buffer, offset, length);
    }
  }

  /** The XML documents of a folder, each read through the same door when it is asked for. */
  private static final class Collection implements ResourceCollection {
    private final String uri;
    private final String[] members;
    private final Reads reads;

    Collection(String uri, String[] members, Reads reads) {
      this.uri = uri;
      this.members = members;
      this.reads = reads;
    }

    @Override
    public String getCollectionURI() {
      return uri;
    }

    @Override
    public Iterator<String> getResourceURIs(XPathContext context) {
      return Arrays.asList(members).iterator();
    }

    @Override
    public Iterator<? extends Resource> getResources(XPathContext context) {
      return Arrays.stream(members).map(member -> (Resource) new Member(member, reads)).iterator();
    }

    @Override
    public boolean isStable(XPathContext context) {
      return true;
    }

    @Override
    public boolean stripWhitespace(SpaceStrippingRule rules) {
      return false;
    }
  }

  private static final class Member implements Resource {
    private final String uri;
    private final Reads reads;

    Member(String uri, Reads reads) {
      this.uri = uri;
      this.reads = reads;
    }

    @Override
    public String getResourceURI() {
      return uri;
    }

    @Override
    public Item<?> getItem(XPathContext context) throws XPathException {
      try {
        return context.getConfiguration().buildDocumentTree(reads.resolve(uri, null)).getRootNode();
      } catch (TransformerException e) {
        throw XPathException.makeXPathException(e);
      }
    }

    @Override
    public String getContentType() {
      return "application/xml";
    }
  }
}
