package org.grabkit.features;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/** A group of features as users see them; {@code Root} is the top of the tree. */
public final class CategoryNode extends Node {
  private final List<Node> features = new ArrayList<>();

  CategoryNode(NodeMap map, Def def) {
    super(map, def);
  }

  @Override
  void link() {
    super.link();
    for (String f : def.texts("pFeature")) {
      features.add(map.resolve(this, "pFeature", f));
    }
  }

  /** @return the features and sub-categories, in the file's order */
  public List<Node> features() {
    return Collections.unmodifiableList(features);
  }

  @Override
  FeatureAccess ownAccess() {
    return FeatureAccess.RO;
  }

  @Override
  String kind() {
    return "Category";
  }
}
